#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, and runs each for SECONDS (default 25) on its
# checked-in seeds. New inputs the fuzzer finds go to build-fuzz/corpus/TARGET, never into
# the checked-in seeds; a crash, a hang or a sanitizer report stops the script with the
# reproducer in build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]      targets: database ini image codetable pindat
#                                              codetext calltxt codegrid link escape terminal
#                                              text reports safefile clipboard apply diff telnet
#                                              (default: all)
# FUZZ_BUILD=DIR builds and runs in DIR instead of build-fuzz/. FUZZ_JOBS=N runs N targets at
# a time. Without clang it says so and does nothing else, unless FUZZ_REQUIRED=1 (CI), when
# that is an error.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-25}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(database ini image codetable pindat codetext calltxt codegrid link escape terminal
  text reports safefile clipboard apply diff telnet)

if ! command -v clang++ >/dev/null 2>&1; then
  if [ "${FUZZ_REQUIRED:-0}" = 1 ]; then
    echo "fuzz: clang++ is missing" >&2
    exit 1
  fi
  echo "fuzz: no clang++ here, the fuzz targets are skipped" >&2
  exit 0
fi

dir="${FUZZ_BUILD:-$here/build-fuzz}"
CC=clang CXX=clang++ cmake -S "$here/fuzz" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$dir/findings"
run() {
  local t="$1"
  mkdir -p "$dir/corpus/$t"
  # The image, link, codegrid and clipboard targets read many steps from one input: let inputs
  # grow long early.
  local extra=()
  case "$t" in image | link | codegrid | clipboard) extra=(-max_len=2048 -len_control=10) ;; esac
  # A settings document as show writes it is some ten kilobytes.
  [ "$t" = apply ] && extra=(-max_len=32768)
  # -timeout: one input running longer than that is a hang; -rss_limit_mb: so is a run away.
  local rc=0
  "$dir/fuzz_$t" "$dir/corpus/$t" "$here/fuzz/seeds/$t" -max_total_time="$seconds" \
    -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$dir/findings/$t-" -print_final_stats=1 \
    "${extra[@]}" ${FUZZ_ARGS:-} >"$dir/fuzz_$t.log" 2>&1 || rc=$?
  local stats
  stats="$(grep -E '^stat::number_of_executed_units|cov: ' "$dir/fuzz_$t.log" | tail -2 | tr '\n' ' ')"
  if [ $rc -ne 0 ]; then
    echo "fuzz: $t FAILED (log: $dir/fuzz_$t.log)" >&2
    tail -30 "$dir/fuzz_$t.log" >&2
    return 1
  fi
  echo "fuzz: $t ok: $stats"
}

jobs="${FUZZ_JOBS:-1}"
failed=0
pids=()
names=()
for t in "${targets[@]}"; do
  run "$t" &
  pids+=($!)
  names+=("$t")
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
exit $failed
