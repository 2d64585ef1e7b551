#!/usr/bin/env bash
# The bundle as LV2 tools see it:
#   validate   lv2_validate finds no error in its Turtle
#   info       lv2ls lists our URI alone; lv2info shows the class, the author,
#              the X11 UI and its binary, the state interface, every port in
#              order with its stereo group and designation, range, default
#              and properties, and the five factory presets
#   apply      lv2apply renders a float file bit for bit as ze710-host renders
#              it through the VST 2 plug-in at the same settings: defaults,
#              values beyond the ranges against the ends, Effect out, and each
#              factory preset's values against its program; with Effect or
#              the host's enable off from the start the render is the input
#   gstreamer  GStreamer's lv2 plug-in offers ZE710 as a stereo audio filter
#              whose fresh element equalises: Effect "In" and enabled 1 by
#              default, and gst-launch-1.0 with lf-gain=20 renders a 50 Hz
#              sine bit for bit as ze710-host does (about 19.4 dB louder);
#              with enabled=0 it passes the sine unchanged
#   jalv       jalv.gtk3 on a private Xvfb and JACK's dummy driver shows the
#              editor (window class harrowby-ui) inside its own window; the HF
#              gain knob of a screenshot differs between the defaults and
#              "-c hf_gain=20" while the LF gain knob does not; an XTest drag
#              up the LF gain knob reaches the plug-in's port: a 100 Hz tone
#              through the running plug-in comes out more than 10 dB louder;
#              a bundle preset loaded with -p names its program on the banner
#              as four steps of the program arrow from program 1 do, and one
#              more step from either shows the same next program; a drag down
#              the grip enlarges the editor and jalv's window holds it whole
# usage: lv2_tools.sh MODE BUNDLE ZE710_HOST VST_PLUGIN.so
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../hosts/host_env.sh"
uri=http://kestrelwood.com/plugins/ze710
install_plugin "$2"
export LV2_PATH="$LV2_PATH:/usr/lib/lv2"  # the LV2 vocabularies, for class names

case $1 in
validate)
    need_file /usr/bin/sord_validate
    lv2_validate "$plugin"/*.ttl 2>&1 | tee "$work/out"
    grep -qx "Found 0 errors among .*" "$work/out" || fail "lv2_validate reports errors"
    ;;
info)
    [ "$(LV2_PATH=$plugin_dir lv2ls)" = "$uri" ] || fail "lv2ls lists '$(LV2_PATH=$plugin_dir lv2ls)'"
    lv2info "$uri" | tee "$work/out"
    for line in "Class: *Equaliser Plugin" "Author: *Kestrelwood" "#hardRTCapable" "#threadSafeRestore" "state#interface" \
        "^[[:space:]]*$uri#ui$" "Class: *http://lv2plug.in/ns/extensions/ui#X11UI" "Binary: .*/ze710_lv2_ui.so$"; do
        grep -q "$line" "$work/out" || fail "lv2info shows no '$line'"
    done
    # One line a port: symbol, group and designation, range and default, properties.
    ports=$(awk '/^\tPort /{if (s) print s d r p; s = d = r = p = ""} /Symbol:/{s = $2} /Minimum:|Maximum:|Default:/{r = r " " $2}
                 /Group:|Designation:/{d = d " " substr($2, index($2, "#") + 1)}
                 /#(logarithmic|toggled|notOnGUI|notAutomatic|integer|enumeration|connectionOptional)$/{sub(/.*#/, ""); p = p " " $0}
                 END {print s d r p}' "$work/out")
    diff <(echo "$ports") - <<'PORTS' || fail "lv2info shows other ports"
in_l in left
in_r in right
out_l out left
out_r out right
hf_gain -20.000000 20.000000 0.000000
lf_gain -20.000000 20.000000 0.000000
mid_freq 200.000000 4000.000000 894.427185 logarithmic
mid_gain -20.000000 20.000000 0.000000
lf_freq 100.000000 200.000000 141.421387 logarithmic
hf_freq 4000.000000 8000.000000 5656.853516 logarithmic
mid_bw 0.500000 2.000000 1.250000
effect 0.000000 1.000000 1.000000 enumeration integer
ui_size 0.000000 1.000000 0.000000 notAutomatic notOnGUI
enabled enabled 0.000000 1.000000 1.000000 integer
control control connectionOptional
notify control connectionOptional
PORTS
    presets=$(awk '/Presets:/{f = 1; next} f && /^\t *[0-9]/{sub(/^\t */, ""); print} /Port 0:/{exit}' "$work/out" | sort)
    [ "$presets" = "$(printf '%s\n' "05 Low End Boost" "06 Presence" "07 Vocal Air" "08 Loudness" "09 Hollow Mid")" ] ||
        fail "lv2info shows the presets: $presets"
    ;;
apply)
    "$3" signal "$work/signal24.wav" --seconds 2 >/dev/null
    # Float Sun audio: no rounding on write, and no time stamp in the header (WAV has one).
    sox "$work/signal24.wav" -e floating-point -b 32 "$work/signal.au"
    same() {  # same NAME "LV2-CONTROLS" VST-OPTIONS...
        # shellcheck disable=SC2086
        lv2apply -i "$work/signal.au" -o "$work/lv2.au" $2 "$uri" || fail "$1: lv2apply failed"
        "$3" render "$4" "$work/signal.au" "$work/vst.au" "${@:5}" >/dev/null
        cmp "$work/lv2.au" "$work/vst.au" || fail "$1: the LV2 render differs from the VST 2 render"
        echo "ok: $1: lv2apply's render is ze710-host's, bit for bit"
    }
    host=$3 vst=$4
    same defaults "" "$host" "$vst"
    same "shelves +20 dB, mid -13 dB, the rest beyond the ranges (held at their ends)" \
        "-c hf_gain 45 -c lf_gain 20 -c mid_gain -13 -c mid_freq 9e9 -c lf_freq 1 -c mid_bw -3" "$host" "$vst" \
        --param 0=1 --param 1=1 --param 3=0.175 --param 2=1 --param 4=0 --param 6=0
    same "Effect out, mid +20 dB" "-c effect 0 -c mid_gain 20" "$host" "$vst" --param 7=0 --param 3=1
    samples() { sox "$1" -t f32 -; }
    for off in effect enabled; do
        lv2apply -i "$work/signal.au" -o "$work/lv2.au" -c lf_gain 20 -c "$off" 0 "$uri" || fail "lv2apply failed"
        cmp <(samples "$work/signal.au") <(samples "$work/lv2.au") || fail "$off off from the start: not the input"
        echo "ok: $off off from the start: lv2apply's render is its input, from the first sample"
    done
    for program in 4 5 6 7 8; do
        name=$("$host" info "$vst" | awk -v n="$program" '/^Programs/ {p = 1} p && $1 == n {sub(/^ *[0-9]+  /, ""); print}')
        controls=$(awk -v label="rdfs:label \"$name\"" 'index($0, label) {f = 1} f && /lv2:symbol/ {gsub(/"/, "", $2); s = $2}
                        f && /pset:value/ {printf "-c %s %s ", s, $2} f && / \.$/ {exit}' "$plugin/presets.ttl")
        [ -n "$controls" ] || fail "presets.ttl has no preset \"$name\""
        same "preset \"$name\"" "$controls" "$host" "$vst" --program "$program"
    done
    ;;
gstreamer)
    for tool in gst-inspect-1.0 gst-launch-1.0 sox; do need_file "/usr/bin/$tool"; done
    element=kestrelwood-com-plugins-ze710
    gst-inspect-1.0 "$element" >"$work/out" 2>&1 || fail "gst-inspect-1.0 does not offer $element: $(tail -3 "$work/out")"
    grep -E "GstAudioFilter|channels: 2|Default: 1, \"In\"|Integer. Range: 0 - 1 Default: 1|lf-gain" "$work/out"
    for line in "+----GstAudioFilter" "channels: 2" 'Default: 1, "In"' "Integer. Range: 0 - 1 Default: 1"; do
        grep -qF -- "$line" "$work/out" || fail "gst-inspect-1.0 shows no '$line'"
    done
    sox -n -r 48000 -c 2 -e floating-point -b 32 "$work/sine.wav" synth 2 sine 50 vol 0.05
    gst() {  # gst OUT PROPERTIES...: the sine through a fresh element
        gst-launch-1.0 -q filesrc location="$work/sine.wav" ! wavparse ! audioconvert ! audio/x-raw,format=F32LE,channels=2 ! \
            "$element" "${@:2}" ! wavenc ! filesink location="$work/$1" || fail "gst-launch-1.0 failed"
    }
    samples() { sox "$1" -t f32 - 2>/dev/null; }
    gst eq.wav lf-gain=20
    "$3" render "$4" "$work/sine.wav" "$work/vst.wav" --param 1=1 >/dev/null
    cmp <(samples "$work/eq.wav") <(samples "$work/vst.wav") || fail "GStreamer's render differs from ze710-host's"
    rms=$(for f in sine eq; do sox "$work/$f.wav" -n stats 2>&1 | awk '/RMS lev dB/ {print $4}'; done | xargs)
    echo "ok: a fresh element with lf-gain=20 renders as ze710-host does; 50 Hz sine RMS dB before and after: $rms"
    awk -v r="$rms" 'BEGIN {split(r, v, " "); exit !(v[2] - v[1] > 19)}' || fail "the element did not equalise"
    gst off.wav lf-gain=20 enabled=0
    cmp <(samples "$work/sine.wav") <(samples "$work/off.wav") || fail "enabled=0: the element did not pass its input"
    echo "ok: with enabled=0 the element passes the sine unchanged"
    ;;
jalv)
    for tool in jalv.gtk3 jackd jack_metro jack_rec import convert xdotool xwininfo Xvfb sox; do need_file "/usr/bin/$tool"; done
    pids=""
    stop() {  # last started, first stopped: the clients before the JACK server (which then exits cleanly)
        for p in $(printf '%s\n' $pids | tac); do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null || true; done
    }
    trap 'rc=$?; stop; (exit $rc); cleanup' EXIT
    export JACK_DEFAULT_SERVER="ze710-lv2-ui-$$" ZOKA_UI_DPI=96  # editor at scale 1: knobs where expected
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    pids="$pids $!"
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -1 "$work/display")"
    timeout 300 jackd --no-realtime -d dummy -r 48000 >"$work/jackd.log" 2>&1 &
    pids="$pids $!"
    timeout 10 jack_wait -w >/dev/null || fail "jackd did not start: $(tail -2 "$work/jackd.log")"
    jalv_ui() {  # jalv_ui NAME [OPTIONS]: jalv.gtk3 with our UI, a screenshot of it; sets $win and $jalv
        timeout -k 3 120 jalv.gtk3 "${@:2}" "$uri" >"$work/$1.log" 2>&1 &
        jalv=$! pids="$pids $!"
        win=$(timeout 20 xdotool search --sync --class harrowby-ui | head -1)
        [ -n "$win" ] || fail "$1: no editor window; jalv said: $(tail -3 "$work/$1.log")"
        for top in $(xdotool search --class jalv.gtk3); do xwininfo -tree -id "$top"; done |
            grep "$(printf '0x%x' "$win") " >/dev/null ||  # not -q: a broken pipe would fail the pipeline
            fail "$1: the editor is not inside jalv's window"
        sleep 1  # the first picture
        import -window "$win" "$work/$1.png"
    }
    knob() {  # knob NAME X Y: the pixels' signature around a knob centre in the screenshot
        convert "$work/$1.png" -crop "40x40+$(($2 - 20))+$(($3 - 20))" +repage -format '%#' info:
    }
    hf=(263 116) lf=(263 364)  # knob centres in the editor window at size 0 and scale 1
    jalv_ui defaults
    kill "$jalv" && wait "$jalv" 2>/dev/null || true
    jalv_ui hf20 -c hf_gain=20
    [ "$(knob defaults "${hf[@]}")" != "$(knob hf20 "${hf[@]}")" ] || fail "-c hf_gain=20 did not reach the HF gain knob"
    [ "$(knob defaults "${lf[@]}")" = "$(knob hf20 "${lf[@]}")" ] || fail "the LF gain knob changed with the HF gain"
    echo "ok: jalv shows the editor in its window, with hf_gain=20 on the HF gain knob"

    timeout -k 3 60 jack_metro -n metro -b 300 -f 100 -A 0.05 -D 150 >/dev/null 2>&1 &
    pids="$pids $!"
    for _ in $(seq 100); do jack_connect metro:300_bpm ZE710:in_l 2>/dev/null && break; sleep 0.1; done
    timeout -k 3 20 jack_rec -f "$work/before.wav" -d 1 ZE710:out_l >/dev/null
    xdotool mousemove --window "$win" "${lf[@]}" mousedown 1
    for _ in $(seq 40); do xdotool mousemove_relative -- 0 -4; done
    xdotool mouseup 1 sleep 0.5
    timeout -k 3 20 jack_rec -f "$work/after.wav" -d 1 ZE710:out_l >/dev/null
    rms=$(for f in before after; do sox "$work/$f.wav" -n stats 2>&1 | awk '/RMS lev dB/ {print $4}'; done | xargs)
    echo "100 Hz tone through ZE710 in jalv, RMS dB before and after a drag up the LF gain knob: $rms"
    awk -v r="$rms" 'BEGIN {split(r, v, " "); exit !(v[2] - v[1] > 10)}' || fail "the drag did not reach the plug-in's port"

    # Programs: the banner (108 x 16 at (180, 58)) after a bundle preset and
    # after presses of the right program arrow (at (286, 8)), 0.4 s apart so
    # that none is a double click, each within the 2.5 s a name stays up.
    banner() { convert "$work/$1.png" -crop "108x16+180+58" +repage -format '%#' info:; }
    arrow() {  # arrow N NAME: N presses, then a screenshot
        for _ in $(seq "$1"); do xdotool mousemove --window "$win" 286 8 click 1 sleep 0.4; done
        import -window "$win" "$work/$2.png"
    }
    kill "$jalv" && wait "$jalv" 2>/dev/null || true
    jalv_ui preset -p "$uri#preset-05-low-end-boost"
    arrow 1 preset-next
    kill "$jalv" && wait "$jalv" 2>/dev/null || true
    jalv_ui programs
    arrow 4 programs-5
    arrow 1 programs-6
    [ "$(banner programs)" != "$(banner preset)" ] || fail "the banner shows no program name for the preset"
    [ "$(banner preset)" = "$(banner programs-5)" ] || fail "the preset's banner is not program 5's name"
    [ "$(banner preset-next)" = "$(banner programs-6)" ] || fail "the arrow does not step on from the preset's program"
    echo "ok: the bundle preset names its program on the banner, and the arrow steps on from it"

    # The grip, 240 pixels down: jalv's window grows and holds the editor whole.
    xdotool mousemove --window "$win" 462 504 mousedown 1
    for _ in $(seq 40); do xdotool mousemove_relative -- 0 6; done
    xdotool mouseup 1 sleep 1.5
    eval "$(xdotool getwindowgeometry --shell "$win")"
    editor_bottom=$((Y + HEIGHT)) editor_height=$HEIGHT
    for top in $(xdotool search --class jalv.gtk3); do
        xwininfo -tree -id "$top" | grep "$(printf '0x%x' "$win") " >/dev/null && eval "$(xdotool getwindowgeometry --shell "$top")"
    done
    echo "jalv.gtk3 after a grip drag: editor $editor_height high, its bottom at $editor_bottom, jalv's window down to $((Y + HEIGHT))"
    [ "$editor_height" -gt 600 ] || fail "the grip did not enlarge the editor"
    [ "$editor_bottom" -le $((Y + HEIGHT)) ] || fail "jalv's window crops the editor"
    ;;
esac
