#!/usr/bin/env bash
# Builds everything and runs every test. With SANITIZE=1 it builds apart under
# AddressSanitizer and UndefinedBehaviorSanitizer; with SANITIZE=thread it builds the
# threaded tests (serial port and device link) under ThreadSanitizer and runs those.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export QT_QPA_PLATFORM=offscreen
case "${SANITIZE:-0}" in
  1)
    dir="$here/build-asan"
    BUILD_TYPE=Debug "$here/scripts/build.sh" "$dir" -DTARVELO_SANITIZE=ON
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
    ;;
  thread)
    dir="$here/build-tsan"
    "$here/scripts/deps.sh"
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARVELO_TSAN=ON \
      -DTARVELO_BUILD_GUI=OFF -DTARVELO_WERROR="${TARVELO_WERROR:-OFF}" >/dev/null
    cmake --build "$dir" -j "$(nproc)" --target serial_tests link_tests
    export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1}"
    "$dir/tests/serial_tests"
    "$dir/tests/link_tests"
    exit 0
    ;;
  *)
    dir="$here/build"
    "$here/scripts/build.sh" "$dir"
    ;;
esac
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
