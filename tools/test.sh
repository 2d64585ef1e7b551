#!/usr/bin/env bash
# Sets up, builds (warnings are errors) and runs the whole test suite.
# GUI tests need an X server: the suite runs under a private Xvfb.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZE710_BUILD_DIR:-$root/build}
jobs=$(nproc)

"$root/tools/setup-debian.sh"
cmake -S "$root" -B "$build" -DZE710_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$jobs"

(
  cd "$build"
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" \
    ctest --output-on-failure --timeout 900 -j"$jobs"
)

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, the
# concurrency tests under ThreadSanitizer, then a bounded fuzzing run.
bash "$root/tools/test-asan.sh"
bash "$root/tools/test-tsan.sh"
bash "$root/tools/test-fuzz.sh"
