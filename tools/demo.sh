#!/usr/bin/env bash
# The main job: set up, build, install the plug-ins, then drive the installed
# ze710.so through the command-line host as a DAW would: its identity,
# a demo signal rendered through the factory preset "05 Low End Boost",
# that preset's measured response plot, and its editor opened in a host
# window (on the user's display, or on a private Xvfb when there is none)
# with a screenshot; and the same preset rendered through the installed LV2
# edition by lilv's lv2apply, through the installed VST3 edition by
# ze710-vst3-render and through the installed CLAP edition by the
# command-line host. Results go to out/.
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
bundle=$(sed -n -E 's/^-- (Installing|Up-to-date): (.*ze710\.lv2)$/\2/p' <<<"$install_log" | tail -n 1)
[ -n "$bundle" ] || { echo "demo: the install did not report ze710.lv2" >&2; exit 1; }
vst3=$(sed -n -E 's/^-- (Installing|Up-to-date): (.*ZE710\.vst3)$/\2/p' <<<"$install_log" | tail -n 1)
[ -n "$vst3" ] || { echo "demo: the install did not report ZE710.vst3" >&2; exit 1; }
clap=$(sed -n -E 's/^-- (Installing|Up-to-date): (.*ze710\.clap)$/\2/p' <<<"$install_log" | tail -n 1)
[ -n "$clap" ] || { echo "demo: the install did not report ze710.clap" >&2; exit 1; }

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
# The LV2 edition through lilv's lv2apply, with the values of the bundle's
# preset "05 Low End Boost" (lv2apply takes port values, not presets); in
# float, since lv2apply writes integer formats without clipping.
controls=$(awk '/rdfs:label "05 Low End Boost"/ {f = 1} f && /lv2:symbol/ {gsub(/"/, "", $2); s = $2}
                f && /pset:value/ {printf "-c %s %s ", s, $2} f && / \.$/ {exit}' "$bundle/presets.ttl")
sox "$out/demo-signal.wav" -e floating-point -b 32 "$out/demo-signal-float.wav"
# shellcheck disable=SC2086
LV2_PATH=$(dirname "$bundle") lv2apply -i "$out/demo-signal-float.wav" -o "$out/demo-low-end-boost-lv2.wav" \
    $controls http://kestrelwood.com/plugins/ze710
echo "lv2apply: $out/demo-low-end-boost-lv2.wav through $bundle with $controls"
echo
# The VST3 edition, from the bundle a DAW finds in ~/.vst3, at the same
# program: the same sound as the VST 2 render, bit for bit.
"$build/tools/vst3_host/ze710-vst3-render" "$vst3" "$out/demo-signal.wav" "$out/demo-low-end-boost-vst3.wav" --program "$preset"
if cmp -s "$out/demo-low-end-boost.wav" "$out/demo-low-end-boost-vst3.wav"; then
    echo "demo: the VST3 render equals the VST 2 render bit for bit"
else
    echo "demo: the VST3 render differs from the VST 2 render" >&2
    exit 1
fi
echo
# The CLAP edition: its identity, then the preset's bank (the VST 2 bank
# file's chunk is the CLAP state) rendered through it, which must sound as
# the VST 2 render, sample for sample.
"$host" info "$clap"
echo
"$host" save "$plugin" "$out/low-end-boost.fxb" --program "$preset"
"$host" render "$clap" "$out/demo-signal.wav" "$out/demo-low-end-boost-clap.wav" --load "$out/low-end-boost.fxb"
cmp "$out/demo-low-end-boost.wav" "$out/demo-low-end-boost-clap.wav"
echo "demo: the CLAP render equals the VST 2 render byte for byte"
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
echo "demo: listen to $out/demo-signal.wav, $out/demo-low-end-boost.wav, (LV2) $out/demo-low-end-boost-lv2.wav"
echo "demo: (VST3) $out/demo-low-end-boost-vst3.wav and (CLAP) $out/demo-low-end-boost-clap.wav;"
echo "demo: the response plot is $out/response-low-end-boost.svg"
