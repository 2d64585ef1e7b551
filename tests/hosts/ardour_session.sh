#!/usr/bin/env bash
# A real, headless Ardour 7 session processes audio through the plug-in:
# Ardour lists it, shows our parameter names, records its generator through
# the rolling transport, takes parameter changes through its own controls,
# selects a factory program as a preset, switches the plug-in to its own
# bypass when it is disabled in Ardour, and restores every value from a
# reopened snapshot: through the plug-in's state chunk, so that an edited
# program that is not current survives too, and through the values alone
# from a session saved before the plug-in had chunks. Each snapshot is
# rendered by Ardour's export tool and measured against the recorded take
# and against our own host's render of that take. The plug-in is the VST 2
# module or the LV2 bundle; our host's reference render is always the VST 2
# module's, so an LV2 session also proves that both formats sound the same.
# The program checks are VST 2 only: LV2 has no programs.
# usage: ardour_session.sh PLUGIN.so|BUNDLE.lv2 LEVEL_PROBE ZE710_HOST [VST_PLUGIN.so]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/host_env.sh"
probe=$2
ours=$3
vst=${4:-$1}

scanner=/usr/lib/ardour7/ardour-vst-scanner
need_file "$scanner"
need_file /usr/bin/ardour7-lua
need_file /usr/bin/ardour7-export
install_plugin "$1"
# What Ardour shows of each type: names, ids and values in its own units.
if [ -d "$1" ]; then
    export ZE710_PLUGIN_TYPE=LV2
    uri=http://kestrelwood.com/plugins/ze710
    listed=("$uri" /NOPATH)
    names=("HF Gain" "LF Gain" "Mid Freq" "Mid Gain" "LF Freq" "HF Freq" "Mid BW" "Effect" "UI Size")
    defaults=(0.000000 0.000000 894.427185 0.000000 141.421387 5656.853516 1.250000 1.000000 0.000000)
    preset_uri="$uri#preset-05-low-end-boost"
    lowend=(-4.200000 9.500000 204.999954 -7.400000 136.359985 5656.850098 2.000000 1.000000 0.000000)
else
    export ZE710_PLUGIN_TYPE=LXVST
    listed=(1514485553 "$plugin")
    names=("HF dB" "LF dB" "Mid Hz" "Mid dB" "LF Hz" "HF Hz" "Mid BW" "Effect" "UI Size")
    defaults=(0.500000 0.500000 0.500000 0.500000 0.500000 0.500000 0.500000 1.000000 0.000000)
    preset_uri="VST:1514485553:0004"
    lowend=(0.395000 0.737500 0.008243 0.315000 0.447421 0.499999 1.000000 1.000000 0.000000)
fi
export ZE710_SESSION_DIR="$work/session"
export ZE710_RECORD_SECONDS=4
# Seconds at the start and at the end of each render that are not measured:
# parameter glides and the region fades and declick of the export touch them.
skip_seconds=0.5

# The Lua session tool never scans VST 2 by itself: it reads the scanner's cache.
[ "$ZE710_PLUGIN_TYPE" = LV2 ] ||
    LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 "$scanner" -q "$plugin" || fail "the scanner failed"

echo "--- ardour7-lua session_create.lua"
timeout 180 ardour7-lua "$here/session_create.lua" >"$work/create.log" 2>&1 || true
cat "$work/create.log"
grep -qx done "$work/create.log" || fail "the session script did not finish"

field() {  # field TAG N [KEY]: field N of the line starting with TAG (and KEY)
    awk -F'\t' -v tag="$1" -v n="$2" -v key="${3-}" \
        '$1 == tag && (key == "" || $2 == key) { print $n; exit }' "$work/create.log"
}
[ "$(field listed 2)" = ZE710 ] || fail "ZE710 is not in Ardour's plug-in list"
[ "$(field listed 3)" = Kestrelwood ] || fail "Ardour lists another creator"
[ "$(field listed 4)" = "${listed[0]}" ] || fail "Ardour lists another unique ID"
[ "$(field listed 5)" = "${listed[1]}" ] || fail "Ardour lists another file"
[ "$(field plugin 2)$(field plugin 3)$(field plugin 4)" = ZE710Kestrelwood9 ] ||
    fail "the instance is not ZE710 by Kestrelwood with 9 parameters"
for i in "${!names[@]}"; do
    [ "$(field param 3 "$i")" = "${names[$i]}" ] || fail "Ardour names parameter $i '$(field param 3 "$i")'"
    [ "$(field param 4 "$i")" = "${defaults[$i]}" ] || fail "parameter $i starts at $(field param 4 "$i")"
done
texts=("0.00 dB" "0.00 dB" "894.43 Hz" "0.00 dB" "141.42 Hz" "5656.85 Hz" "1.25 Oct" "In " "X 1.00")
if grep -q "^display-unavailable" "$work/create.log" || [ "$ZE710_PLUGIN_TYPE" = LV2 ]; then
    echo "NOTE: display texts not checked (LV2 hosts format values themselves; Ardour 7.3's Lua cannot read them)"
else
    for i in "${!texts[@]}"; do
        [ "$(field display 3 "$i")" = "${texts[$i]}" ] ||
            fail "Ardour shows parameter $i as '$(field display 3 "$i")'"
    done
fi
[ "$(field enabled 2)" = false ] || fail "Ardour did not disable the plug-in"
[ "$(field recorded 2)" = 1 ] || fail "the recording made no region"
[ "$(field recorded 4)" -ge $((48000 * (ZE710_RECORD_SECONDS - 1))) ] ||
    fail "the session holds only $(field recorded 4) recorded frames"
[ "$(field preset 2)" = "$preset_uri" ] || fail "the preset is not the plug-in's program 4"
# The preset's values as the plug-in reported them back to Ardour.
for i in "${!lowend[@]}"; do
    [ "$(field lowend 4 "$i")" = "${lowend[$i]}" ] || fail "after the preset parameter $i is $(field lowend 4 "$i")"
done

# The snapshots as Ardour wrote them: the preset it selected and one control
# a parameter under our names.
grep -q 'last-preset-label="05 Low End Boost"' "$ZE710_SESSION_DIR/lowend.ardour" ||
    fail "the lowend snapshot does not name the preset"
controls=("${names[@]}")
# The LV2 editor size: a control Ardour keeps hidden and does not automate.
[ "$ZE710_PLUGIN_TYPE" = LXVST ] || controls[8]='hidden" id="[0-9]*" flags="NotAutomatable'
for name in "${controls[@]}"; do
    grep -q "<Controllable name=\"$name\" " "$ZE710_SESSION_DIR/recall.ardour" ||
        fail "the recall snapshot has no control \"$name\""
done

# The take: one mono file a channel.
shopt -s nullglob
takes_l=("$ZE710_SESSION_DIR"/interchange/*/audiofiles/*%L.wav)
takes_r=("$ZE710_SESSION_DIR"/interchange/*/audiofiles/*%R.wav)
[ ${#takes_l[@]} -eq 1 ] && [ ${#takes_r[@]} -eq 1 ] || fail "expected one recorded take"
"$probe" merge "${takes_l[0]}" "${takes_r[0]}" "$work/take.wav" || fail "cannot read the take"

# Debian 12's ardour7-export (Ardour 7.3) now and then corrupts its own heap
# or never finishes when the machine is busy, with or without any plug-in in
# the session: glibc aborts in ~PortExportChannel() as the export tool
# releases its channel configuration ("double free or corruption",
# "corrupted size vs. prev_size", "free(): invalid next size"), or the
# export sits at 100% for ever. A crash (killed by a signal) or a hang is
# retried in a fresh process, and only an export that ends normally counts;
# an error exit, or a crash on every attempt, fails the test.
export_attempts=4
export_snapshot() {  # export_snapshot SNAPSHOT: renders it to $work/SNAPSHOT.wav
    local snap=$1 attempt rc started
    for attempt in $(seq 1 $export_attempts); do
        echo "--- ardour7-export -b float $snap (attempt $attempt)"
        rm -f "$work/$snap.wav"
        started=$SECONDS
        rc=0
        timeout -k 10 30 ardour7-export -b float -o "$work/$snap.wav" "$ZE710_SESSION_DIR" "$snap" \
            >"$work/export-$snap.log" 2>&1 || rc=$?
        cat "$work/export-$snap.log"
        echo "(exit $rc after $((SECONDS - started)) s)"
        [ "$rc" -eq 0 ] && return 0
        [ "$rc" -ge 124 ] || fail "export of $snap failed (exit $rc)"
        echo "ardour7-export crashed or hung: retrying"
    done
    fail "export of $snap crashed or hung $export_attempts times"
}
for snap in defaults shelves bypassed lowend; do
    export_snapshot "$snap"
done
timeout 60 "$ours" render "$vst" "$work/take.wav" "$work/ours-defaults.wav" --block 1024 >/dev/null
timeout 60 "$ours" render "$vst" "$work/take.wav" "$work/ours-shelves.wav" --block 1024 \
    --param 0=1 --param 1=1 >/dev/null
timeout 60 "$ours" render "$vst" "$work/take.wav" "$work/ours-lowend.wav" --block 1024 \
    --program 4 >/dev/null

measure() {  # measure NAME REF OUT: level_probe's lines into $work/NAME.levels
    "$probe" compare "$2" "$3" "$skip_seconds" >"$work/$1.levels" || fail "cannot measure $1"
    echo "--- $1: $(basename "$3") against $(basename "$2")"
    cat "$work/$1.levels"
}
level() {  # level NAME KEY [HZ]
    awk -v key="$2" -v hz="${3-}" '$1 == key && (hz == "" || $2 == hz) { print $NF; exit }' "$work/$1.levels"
}
check() {  # check DESCRIPTION VALUE AWK-CONDITION-ON-v
    awk -v v="$2" "BEGIN { exit !($3) }" || fail "$1: $2 dB"
    echo "ok: $1: $2 dB"
}
bands="31.5 63 125 250 500 1000 2000 4000 8000 16000"

for snap in defaults shelves lowend; do
    measure "$snap" "$work/take.wav" "$work/$snap.wav"
    measure "$snap-ours" "$work/ours-$snap.wav" "$work/$snap.wav"
done
measure bypassed "$work/take.wav" "$work/bypassed.wav"

check "recorded generator level" "$(level defaults ref_rms_db)" 'v > -40'
check "defaults: output against input" "$(level defaults gain_db)" 'v >= -0.1 && v <= 0.1'
for hz in $bands; do
    check "defaults: $hz Hz band" "$(level defaults band "$hz")" 'v >= -0.1 && v <= 0.1'
done
check "shelves +20 dB: output against input" "$(level shelves gain_db)" 'v > 6'
check "shelves +20 dB: 31.5 Hz band" "$(level shelves band 31.5)" 'v > 15'
check "shelves +20 dB: 16 kHz band" "$(level shelves band 16000)" 'v > 15'
check "disabled in Ardour (shelves +20 dB): output against input" "$(level bypassed gain_db)" 'v >= -0.1 && v <= 0.1'
for hz in $bands; do
    check "disabled in Ardour: $hz Hz band" "$(level bypassed band "$hz")" 'v >= -0.1 && v <= 0.1'
done
check "disabled in Ardour: output against input, sample for sample" "$(level bypassed residual_db)" 'v < -60'
check "05 Low End Boost: 31.5 Hz band (low shelf +9.50 dB)" "$(level lowend band 31.5)" 'v > 6 && v < 12'
check "05 Low End Boost: 250 Hz band (mid -7.40 dB at 205 Hz)" "$(level lowend band 250)" 'v < -3'
for snap in defaults shelves lowend; do
    # Ardour's render is our host's render of the same take, sample for sample.
    check "$snap: Ardour's render against ze710-host's" "$(level "$snap-ours" residual_db)" 'v < -60'
done

reopen() {  # reopen SNAPSHOT [PRESET]: session_reopen.lua's lines in $work/reopen-SNAPSHOT.log
    echo "--- ardour7-lua session_reopen.lua $1 ${2-}"
    ZE710_SNAPSHOT=$1 ZE710_SELECT=${2-} timeout 120 ardour7-lua "$here/session_reopen.lua" \
        >"$work/reopen-$1.log" 2>&1 || true
    cat "$work/reopen-$1.log"
    grep -qx done "$work/reopen-$1.log" || fail "the reopen script did not finish for $1"
}
reopened() {  # reopened SNAPSHOT TAG I: value I of the TAG lines
    awk -F'\t' -v tag="$2" -v i="$3" '$1 == tag && $2 == i { print $3; exit }' "$work/reopen-$1.log"
}
check_recall() {  # check_recall SNAPSHOT
    for i in "${!names[@]}"; do
        saved=$(field recall 4 "$i")
        restored=$(reopened "$1" restored "$i")
        [ -n "$saved" ] && [ "$restored" = "$saved" ] ||
            fail "$1: parameter $i saved as '$saved' reopens as '$restored'"
    done
    echo "ok: the reopened snapshot $1 restores all 9 parameter values"
}
reopen recall
check_recall recall
if [ "$ZE710_PLUGIN_TYPE" = LV2 ]; then
    echo "PASS: a headless Ardour session records, processes, presets, saves and renders through ZE710 (LV2)"
    exit 0
fi
grep -q '<chunk ' "$ZE710_SESSION_DIR/recall.ardour" || fail "Ardour saved no state chunk"

# Program 2 edited (LF +20 dB), then program 3 selected and edited (HF
# +12 dB): program 3's edit is current again, and selecting program 2
# brings its edit back.
reopen programs "02 User Preset 2"
[ "$(reopened programs restored 0)/$(reopened programs restored 1)" = 0.800000/0.500000 ] ||
    fail "the programs snapshot reopens with HF $(reopened programs restored 0), LF $(reopened programs restored 1)"
[ "$(reopened programs selected 0)/$(reopened programs selected 1)" = 0.500000/1.000000 ] ||
    fail "after reopening, program 2 has HF $(reopened programs selected 0), LF $(reopened programs selected 1)"
echo "ok: the reopened session keeps the current program's edit and another program's edit"

# A session saved before the plug-in had chunks: Ardour kept the values as
# <parameters param-N="..."/> where it now keeps the chunk.
params=""
for i in "${!names[@]}"; do params+="param-$i=\"$(field recall 4 "$i")\" "; done
sed "s|<chunk [^>]*>[^<]*</chunk>|<parameters $params/>|" "$ZE710_SESSION_DIR/recall.ardour" \
    >"$ZE710_SESSION_DIR/legacy.ardour"
grep -q '<chunk ' "$ZE710_SESSION_DIR/legacy.ardour" && fail "the legacy snapshot still holds a chunk"
reopen legacy
check_recall legacy
echo "PASS: a headless Ardour session records, processes, presets, saves and renders through ZE710"
