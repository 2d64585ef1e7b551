#!/usr/bin/env bash
# The concurrency tests (ctest label "concurrency") built with ThreadSanitizer
# into build-tsan/ (their programs only: the target ze710_concurrency_tests)
# and run there. A data race or lock-order report fails the test that made it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZE710_TSAN_BUILD_DIR:-$root/build-tsan}
jobs=$(nproc)

"$root/tools/setup-debian.sh"

cmake -S "$root" -B "$build" -DZE710_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZE710_SANITIZE=thread -DZE710_BUILD_BENCH=OFF
cmake --build "$build" -j"$jobs" --target ze710_concurrency_tests

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:report_signal_unsafe=1
cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" \
  ctest --output-on-failure --timeout 1200 -j"$jobs" -L concurrency
