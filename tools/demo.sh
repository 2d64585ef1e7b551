#!/usr/bin/env bash
# The main job: set up, build, install the plug-in, then drive the installed
# ze710.so through the command-line host as a DAW would: its identity,
# a demo signal rendered through the factory preset "05 Low End Boost",
# that preset's measured response plot, and its editor opened in a host
# window (on the user's display, or on a private Xvfb when there is none)
# with a screenshot. Results go to out/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZE710_BUILD_DIR:-$root/build}
out=${ZE710_OUT_DIR:-$root/out}
preset=4  # "05 Low End Boost"

"$root/tools/setup-debian.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"

# User install into ~/.vst (see README); the install log names the file.
install_log=$(cmake --install "$build")
echo "$install_log"
plugin=$(sed -n -E 's/^-- (Installing|Up-to-date): (.*ze710\.so)$/\2/p' <<<"$install_log" | tail -n 1)
[ -n "$plugin" ] || { echo "demo: the install did not report ze710.so" >&2; exit 1; }

host="$build/tools/host/ze710-host"
mkdir -p "$out"
echo
"$host" info "$plugin"
echo
"$host" signal "$out/demo-signal.wav" --seconds 6
"$host" render "$plugin" "$out/demo-signal.wav" "$out/demo-low-end-boost.wav" --program "$preset"
echo
"$host" response "$plugin" --program "$preset" --svg "$out/response-low-end-boost.svg"
echo
# The editor, embedded in a host window as a DAW embeds it; closes by itself.
editor_cmd=("$host" editor "$plugin" --program "$preset" --close-after 3 --screenshot "$out/editor.png")
if [ -n "${DISPLAY:-}" ]; then
  "${editor_cmd[@]}"
else
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "${editor_cmd[@]}"
fi
echo
echo "demo: the editor's screenshot is $out/editor.png"
echo "demo: listen to $out/demo-signal.wav and $out/demo-low-end-boost.wav;"
echo "demo: the response plot is $out/response-low-end-boost.svg"
