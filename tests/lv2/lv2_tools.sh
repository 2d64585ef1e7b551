#!/usr/bin/env bash
# The bundle as LV2 tools see it:
#   validate  lv2_validate finds no error in its Turtle
#   info      lv2ls lists our URI alone; lv2info shows the class, the author,
#             every port in order with its range, default and properties,
#             and the five factory presets
#   apply     lv2apply renders a float file bit for bit as ze710-host renders
#             it through the VST 2 plug-in at the same settings: defaults,
#             values beyond the ranges against the ends, Effect out, and each
#             factory preset's values against its program
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
    for line in "Class: *Equaliser Plugin" "Author: *Kestrelwood" "Optional Features: .*#hardRTCapable"; do
        grep -q "$line" "$work/out" || fail "lv2info shows no '$line'"
    done
    # One line a port: symbol, range and default, properties.
    ports=$(awk '/^\tPort /{if (s) print s r p; s = r = p = ""} /Symbol:/{s = $2} /Minimum:|Maximum:|Default:/{r = r " " $2}
                 /#(logarithmic|toggled|notOnGUI|notAutomatic)$/{sub(/.*#/, ""); p = p " " $0} END {print s r p}' "$work/out")
    diff <(echo "$ports") - <<'PORTS' || fail "lv2info shows other ports"
in_l
in_r
out_l
out_r
hf_gain -20.000000 20.000000 0.000000
lf_gain -20.000000 20.000000 0.000000
mid_freq 200.000000 4000.000000 894.427185 logarithmic
mid_gain -20.000000 20.000000 0.000000
lf_freq 100.000000 200.000000 141.421387 logarithmic
hf_freq 4000.000000 8000.000000 5656.853516 logarithmic
mid_bw 0.500000 2.000000 1.250000
effect 0.000000 1.000000 1.000000 toggled
ui_size 0.000000 1.000000 0.000000 notOnGUI notAutomatic
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
    for program in 4 5 6 7 8; do
        name=$("$host" info "$vst" | awk -v n="$program" '/^Programs/ {p = 1} p && $1 == n {sub(/^ *[0-9]+  /, ""); print}')
        controls=$(awk -v label="rdfs:label \"$name\"" 'index($0, label) {f = 1} f && /lv2:symbol/ {gsub(/"/, "", $2); s = $2}
                        f && /pset:value/ {printf "-c %s %s ", s, $2} f && / \.$/ {exit}' "$plugin/presets.ttl")
        [ -n "$controls" ] || fail "presets.ttl has no preset \"$name\""
        same "preset \"$name\"" "$controls" "$host" "$vst" --program "$program"
    done
    ;;
esac
