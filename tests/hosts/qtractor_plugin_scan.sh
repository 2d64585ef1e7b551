#!/usr/bin/env bash
# Qtractor's plug-in scanner lists the freshly built plug-in with two audio
# inputs and outputs, no MIDI, nine parameters and an editor: the VST 2
# module with its unique ID, the CLAP module (ze710.clap: eight parameters
# and the host's bypass) as the factory's first plug-in.
# usage: qtractor_plugin_scan.sh PLUGIN.so|PLUGIN.clap
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/host_env.sh"

scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
need_file "$scanner"
install_plugin "$1"
type=VST
case "$1" in *.clap) type=CLAP ;; esac

echo "--- echo $type:$plugin | qtractor_plugin_scan"
echo "$type:$plugin" | QT_QPA_PLATFORM=offscreen timeout 60 "$scanner" >"$work/scan.out" 2>"$work/scan.err" ||
    { cat "$work/scan.out" "$work/scan.err"; fail "the scanner failed"; }
cat "$work/scan.out" "$work/scan.err"

# TYPE|name|ain:aout|min:mout|pin:pout|flags|path|index|0xUID, one line a plug-in.
[ "$(grep -c "^$type|" "$work/scan.out")" -eq 1 ] || fail "expected exactly one $type line"
IFS='|' read -r kind name audio midi params flags path index uid < <(grep "^$type|" "$work/scan.out")
[ "$kind" = "$type" ] || fail "type '$kind'"
[ "$name" = ZE710 ] || fail "name '$name'"
[ "$audio" = 2:2 ] || fail "audio ports '$audio'"
[ "$midi" = 0:0 ] || fail "MIDI ports '$midi'"
[ "$params" = 9:0 ] || fail "parameters '$params'"
case ",$flags," in *,GUI,*) ;; *) fail "flags '$flags' lack GUI (the editor)" ;; esac
[ "$path" = "$plugin" ] || fail "path '$path'"
[ "$index" = 0 ] || fail "index '$index'"
if [ "$type" = VST ]; then
    [ "$uid" = 0x5a453731 ] || fail "unique ID '$uid' (expected \"ZE71\", 0x5a453731)"
fi
echo "PASS: Qtractor lists ZE710 ($type) with 2:2 audio, 9 parameters, an editor, ID $uid"
