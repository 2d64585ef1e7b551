#!/usr/bin/env bash
# Dispatcher fuzzing for a bounded time (ZE710_FUZZ_SECONDS, default 60):
# builds the libFuzzer target with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs it from the corpus kept
# in tests/fuzz/corpus. New inputs go to build-fuzz/corpus (not into the
# repository); a crash, a sanitizer report or non-finite output for finite
# input stops the run with the failing input saved in build-fuzz/ and fails
# this script.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZE710_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${ZE710_FUZZ_SECONDS:-60}
jobs=$(nproc)

"$root/tools/setup-debian.sh"

cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZE710_WERROR=ON -DZE710_FUZZ=ON -DZE710_BUILD_BENCH=OFF \
  -DZE710_SANITIZE=address,undefined -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
cmake --build "$build" -j"$jobs" --target ze710_dispatch_fuzzer

mkdir -p "$build/corpus" "$build/artifacts"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cd "$build"
set +e
# The progress lines (one per new input) stay in the log file only.
"$build/tests/fuzz/ze710_dispatch_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
  "$build/corpus" "$root/tests/fuzz/corpus" > "$build/fuzz.log" 2>&1
status=$?
set -e
grep -v '^#[0-9]' "$build/fuzz.log" | grep -v '^\(MS\|BINGO\)' || true
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/fuzz.log" | tail -1)
echo "fuzz: ${runs:-0} executions in ${seconds} s, exit status ${status}"
exit "$status"
