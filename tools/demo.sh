#!/usr/bin/env bash
# Sets up, builds and runs the main job: the equaliser engine on a demo signal.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZE710_BUILD_DIR:-$root/build}

"$root/tools/setup-debian.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
"$build/tools/dsp_demo/ze710-dsp-demo"
