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


def ctl(*values):
    """Bytes the targets read from the end of an input (switches and numbers), in the order read."""
    return bytes(reversed(values))


# Code files over a table of five 6-digit codes (16-line model, no stored records).
table5 = ctl(1, 0x20, 1, 4, 0, 5, 0)
put("pindat", "three", b"\x07\x03\x00" + b"123456\x0f" + b"000001\x05" + b"99    \x00" + b"\x00"
    + table5)
put("pindat", "none", b"\x05\x00\x00\x00" + table5)
put("pindat", "rights-with-base", b"\x03\x02\x00" + b"12?" + b"34\x35" + b"\x00" + table5)
put("pindat", "letters", b"\x04\x02\x00" + b"1a2\x0f" + b"x  \x01" + b"\x00" + table5)
put("pindat", "cut-short", b"\x09\x55\x01" + b"12345678\x0f" * 3 + ctl(0, 0xFF, 0, 12, 1, 44, 0))
put("codetext", "exported", b"123456\tHelyi\t\tMobil\t\r\n000000\tHelyi\tT\xe1v\tMobil\tNemz\r\n"
    + table5)
put("codetext", "blanks", b"  55  \n\n123\t\r\n 1 2 \r\r\n" + table5)
put("codetext", "letters", b"12ab\r\n\x0b34\r\n" + ctl(0, 0x00, 0, 0, 0, 0, 0))
# CALL.TXT over an emptied list, and appended to a list of two numbers.
put("calltxt", "overwrite", b"0680123456\r\n06 1 234 5678\r\n\r\n12345678901234567890\r\n"
    + ctl(0, 0, 0))
put("calltxt", "append", b"06801234567\\ 1234\\ " + b"111\n222\r\n333" + ctl(1, 1, 0, 1, 2))
put("calltxt", "cut-off", b"111\r\n222\r\n33" + ctl(0, 0, 1))
# Grid operations: every operation once or twice over a small table, and over a table whose
# record length is out of range.
steps = bytes([1, 0, 1, 1, 2, 4, 1, 2, 9, 6, 3, 0, 4, 3, 5, 5, 1, 2, 6, 1, 4, 2, 0, 7, 2, 8,
               3, 9, 1, 9, 0, 0, 1, 1, 7, 0])
put("codegrid", "small", b"123456?000000?" + b"12\\ 5\\ 1\x08\\ 98765432\\ " + steps
    + ctl(0, 0x20, 1, 4, 0, 3, 14))
put("codegrid", "odd-length", steps + ctl(1, 0x31, 0, 200, 0, 2, 0))

# Printed lists: a table of codes with control bytes in them, free numbers, heading texts;
# and short pages over bytes that print as escapes.
put("reports", "codes-and-numbers", b"1234\x1b[2J\x0f" * 8 + b"0680123456      \x07       " * 4
    + b"iroda.pin\x00Gy\xf5r\x00Kov\xe1cs\x00" + ctl(1, 0x20, 1, 7, 0, 12, 40, 60, 30, 1, 1, 40, 0, 1))
put("reports", "short-pages", b"\x9b\x81\\\x7f" * 40 + ctl(0, 0x41, 0, 200, 1, 3, 7, 2, 2, 2, 5))
# The safe writer: a new file, a file replaced through a link, one cut short, odd names.
put("safefile", "new-and-replaced", b"b.pin\x00first\x00second" + ctl(1, 1, 0, 0, 1, 4, 0, 0))
put("safefile", "cut", b"x" * 200 + ctl(1, 0, 1, 50, 1, 2))
put("safefile", "names", b"sub/new name\x00\xc5\x91\x00.hidden.~abcdefghij\x00" + b"y" * 40)
# Clipboard texts: code rows in the rights spellings a spreadsheet or the code text file gives,
# pasted into a table of five 6-digit codes, then rows inserted, deleted and sorted, and
# numbers pasted into the list.
rows = (b"123456\tIgen\tNem\tI\tN\r\n000001;1;0;x;\r\n" + b"654321\tHelyi\tT\xe1v\t\tNemz\n"
        + b"7\n12a4\tIgen\n\n99\tx\tx\tx\tx\tKiss\n")
table5 = ctl(1, 0x20, 1, 4, 0, 5, 0)
put("clipboard", "codes", rows + table5 + ctl(1, 0))
put("clipboard", "rows-and-numbers", rows + b"\\ 06 80 123 456\r\n112\n112\n" + table5
    + ctl(2, 0, 3, 1, 1, 2, 4, 0, 3, 1, 0, 4))
put("clipboard", "two-digit-limit", b"10\n11\n12\n" * 40 + ctl(0, 0x30, 1, 0, 0, 98, 0, 97, 0))
# Settings documents: show's own listing of both new databases, a change of several pages and
# a refused one. The document comes first; the last two bytes are the number of patches over
# the image (none) and the model.
for name, database, password, model in [("show4", "new4", "", b"\x00"),
                                        ("show16", "new16-protected", "titok", b"\x01")]:
    shown = subprocess.run([cli, "show", os.path.join(seeds, "database", database), "--json",
                            "--password", password], check=True, capture_output=True).stdout
    put("apply", name, shown + b"\x00" + model)
put("apply", "change", ('{"general": {"smdrSpeed": "4800", "coPosition": 30}, "lines": '
                        '[{"port": "02", "callIn": true, "coNumber": "7"}], "codes": {"count": 3, '
                        '"codeLength": 4, "table": [{"row": 2, "code": "1234", "mobile": false}]}, '
                        '"freeNumbers": ["112", "1 04"], "callIn": {"number": "0612345"}}')
    .encode("utf-8") + b"\x00\x01")
put("apply", "refused", b'{"general": {"coPosition": 256}}\x00\x00')
# Two databases: site texts first, then from the end each side's model, patch count and patches.
put("diff", "same-model", b"P\xe9cs\\ Gy\xf5r\\ " + bytes([0x10, 0x20, 0x30, 0x40]) * 6 + b"\x02\x00\x01\x00")
put("diff", "two-models", b"a\\ b\\ " + bytes(range(40)) + b"\x04\x01\x03\x00")

# A serial server's Telnet stream: its offer, data with a doubled 255, a speed answer and a
# modem report; the last two bytes pick a payload length and the com-port option.
telnet_offer = bytes([255, 251, 3, 255, 253, 3, 255, 251, 1, 255, 253, 0, 255, 251, 0, 255, 253, 44])
telnet_reports = bytes([255, 250, 44, 101, 0, 1, 194, 0, 255, 240, 255, 250, 44, 107, 0x30, 255, 240])
put("telnet", "server", b"ab\xff" + telnet_offer + b"x\xff\xffy" + telnet_reports + b"\x03\x01")
put("telnet", "cut-subnegotiation", bytes([255, 250, 44, 107, 1, 255, 253, 24]) + b"z\x00\x01")
