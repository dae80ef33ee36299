#!/usr/bin/env bash
# Builds the program and starts it; arguments go to the program (a database file, say).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/build.sh" "$here/build"
exec "$here/build/app/tarvelo" "$@"
