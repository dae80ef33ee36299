#!/usr/bin/env bash
# Builds everything and runs every test. With SANITIZE=1 it builds apart under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ "${SANITIZE:-0}" = 1 ]; then
  dir="$here/build-asan"
  BUILD_TYPE=Debug "$here/scripts/build.sh" "$dir" -DTARVELO_SANITIZE=ON
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
else
  dir="$here/build"
  "$here/scripts/build.sh" "$dir"
fi
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
