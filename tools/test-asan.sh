#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/ and run there. Any report (memory error, leak, undefined
# behaviour) aborts the test that made it, so one report fails the run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZE710_ASAN_BUILD_DIR:-$root/build-asan}
jobs=$(nproc)

"$root/tools/setup-debian.sh"

cmake -S "$root" -B "$build" -DZE710_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZE710_SANITIZE=address,undefined -DZE710_BUILD_BENCH=OFF
cmake --build "$build" -j"$jobs"

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=report_objects=1
cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" \
  ctest --output-on-failure --timeout 1200 -j"$jobs"
