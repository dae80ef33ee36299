#!/usr/bin/env python3
"""Writes the checked-in seed inputs of the fuzz targets into fuzz/seeds/.

    fuzz/make_seeds.py [TARVELO_CLI]

The database seeds are made by the command-line tool (default build/cli/tarvelo-cli); the
others are small inputs written here. Run it again after a format change and commit the result.
"""
import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
seeds = os.path.join(here, "seeds")
cli = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "cli", "tarvelo-cli")


def put(target, name, data):
    folder = os.path.join(seeds, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


# Database files: both models, with and without texts and a password.
for name, args in [
    ("new4", ["--model", "4"]),
    ("new16-protected", ["--model", "16", "--site", "Győr", "--owner", "Kft", "--password", "titok"]),
]:
    path = os.path.join(seeds, "database", name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run([cli, "new", *args, "-o", path, "--force"], check=True,
                   stderr=subprocess.DEVNULL)
with open(os.path.join(seeds, "database", "new4"), "rb") as f:
    record = f.read()
put("database", "short", record[:100])
put("database", "wrong-marker", b"\x0aTarvelo1V1" + record[11:])
put("database", "longer", record + b"\x01tail")

put("ini", "workstation", "[CONNECTION]\nCOMNR=COM1\nCOMSP=6\n")
put("ini", "connections", "[Iroda]\r\nCOM=COM2\r\nSPEED=9600\r\nPHONE=0612345678\r\n\r\n[Telep]\r\nCOM=USB0\r\n")
put("ini", "comments", "; megjegyzés\n[a]\n  key = \"quoted\" \n#x=1\n[A]\nkey=2\n[b\nk=v\n")

put("text", "hungarian", "Árvíztűrő tükörfúrógép ŐŰőű")
put("text", "cp1250", bytes(range(0x80, 0x100)))
put("text", "bad-utf8", b"\xc3\x28\xe2\x82\xf0\x9f\x98\x80\xed\xa0\x80")

escapes = [b"\x1b[1;2H", b"\x1b[?1;2c", b"\x1b[5n\x1b[6n", b"\x1b[0;1;4;7m", b"\x1b#8",
           b"\x1bOA", b"\x1bY%*", b"\x1b/Z", b"\x1b[2J\x1b[K", b"\x1b[3g\x1bH", b"\x1b7\x1b8",
           b"\x1b[;5m", b"\x1b[20h\x1b[?1l"]
put("escape", "vt100", b"\x00\x00" + b"".join(escapes) + b"\x06")
put("escape", "vt52", b"\x00" + b"\x1bA\x1bB\x1bY  \x1bY~~\x1bZ\x1bJ\x1bK" + b"\x07")
put("terminal", "screen", b"\x00\x00\x00\x00" + b"Hello\r\n\tworld\x08\x07" + b"".join(escapes)
    + b"\x1b[999;999H*\x1b[999A\x1b[999D" + b"x" * 300 + b"\x50\x18\x01")
put("terminal", "vt52", b"\x01" + b"\x1bY\x7f\x7fX\x1bI\x1bH" + b"\x51\x18\x02")

put("image", "defaults4", b"\x01\x00\x00")
put("image", "defaults16", b"\x01\x01\x00")
put("image", "zero", b"\x00")
put("codetable", "fits", b"\x20" * 40 + b"\x07\x05\x00\x01")
put("codetable", "too-many", b"0123456789" * 20 + b"\x0c\x2c\x01\x00\x00")
for kind in range(4):
    put("link", "transfer%d" % kind, bytes([kind]) + b"\x00" * 8)
put("link", "spoilt", bytes(range(64)))
