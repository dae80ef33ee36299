#!/usr/bin/env bash
# Configures and builds into the folder given (default: build). Extra arguments go to cmake.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$here/build}"
shift || true
"$here/scripts/deps.sh"
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
  -DTARVELO_WERROR="${TARVELO_WERROR:-OFF}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
