#!/usr/bin/env bash
# Qtractor's plug-in scanner lists the freshly built plug-in with two audio
# inputs and outputs, no MIDI, nine parameters, an editor and its unique ID.
# usage: qtractor_plugin_scan.sh PLUGIN.so
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/host_env.sh"

scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
need_file "$scanner"
install_plugin "$1"

echo "--- echo VST:$plugin | qtractor_plugin_scan"
echo "VST:$plugin" | QT_QPA_PLATFORM=offscreen timeout 60 "$scanner" >"$work/scan.out" 2>"$work/scan.err" ||
    { cat "$work/scan.out" "$work/scan.err"; fail "the scanner failed"; }
cat "$work/scan.out" "$work/scan.err"

# VST|name|ain:aout|min:mout|pin:pout|flags|path|index|0xUID, one line a plug-in.
[ "$(grep -c '^VST|' "$work/scan.out")" -eq 1 ] || fail "expected exactly one VST line"
IFS='|' read -r kind name audio midi params flags path index uid < <(grep '^VST|' "$work/scan.out")
[ "$kind" = VST ] || fail "type '$kind'"
[ "$name" = ZE710 ] || fail "name '$name'"
[ "$audio" = 2:2 ] || fail "audio ports '$audio'"
[ "$midi" = 0:0 ] || fail "MIDI ports '$midi'"
[ "$params" = 9:0 ] || fail "parameters '$params'"
case ",$flags," in *,GUI,*) ;; *) fail "flags '$flags' lack GUI (the editor)" ;; esac
[ "$path" = "$plugin" ] || fail "path '$path'"
[ "$index" = 0 ] || fail "index '$index'"
[ "$uid" = 0x5a453731 ] || fail "unique ID '$uid' (expected \"ZE71\", 0x5a453731)"
echo "PASS: Qtractor lists ZE710 with 2:2 audio, 9 parameters, an editor and ID 0x5a453731"
