#!/usr/bin/env bash
# Ardour's own VST3 scanner loads the freshly built bundle from ~/.vst3 and
# records it in its cache with our class id, name, vendor, the EQ
# category, the version, two inputs, two outputs and no MIDI.
# usage: ardour_vst3_scanner.sh ZE710.vst3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/host_env.sh"

scanner=/usr/lib/ardour7/ardour-vst3-scanner
need_file "$scanner"
install_plugin "$1"

echo "--- ardour-vst3-scanner -v -f $plugin"
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 "$scanner" -v -f "$plugin" 2>&1 | tee "$work/scan.log" ||
    fail "the scanner failed (exit ${PIPESTATUS[0]})"

shopt -s nullglob
caches=("$XDG_CACHE_HOME"/ardour7/vst/*.v3i)
[ ${#caches[@]} -eq 1 ] || fail "expected one .v3i cache file, found ${#caches[@]}"
grep -q "^\[Info\]: Found Plugin: ZE710\$" "$work/scan.log" || fail "the scanner did not report ZE710"
info=$(grep '<VST3Info ' "${caches[0]}") || fail "no VST3Info entry"
[ "$(grep -c '<VST3Info ' "${caches[0]}")" -eq 1 ] || fail "more than one VST3Info entry"
grep -q "module=\"$plugin/Contents/x86_64-linux/ZE710.so\"" "${caches[0]}" || fail "the cache names another module"
# uid: the class id of the README, which never changes.
for attr in 'uid="85E2DE2212375EEFB92E9E9EF0A4D882"' 'name="ZE710"' 'vendor="Kestrelwood"' 'category="Fx|EQ"' \
            'version="2.3.1"' 'n_inputs="2"' 'n_outputs="2"' 'n_aux_inputs="0"' 'n_aux_outputs="0"' \
            'n_midi_inputs="0"' 'n_midi_outputs="0"'; do
    case "$info" in
    *" $attr"*) ;;
    *) fail "the cache entry lacks $attr" ;;
    esac
done
echo "PASS: Ardour's VST3 scanner records ZE710 by Kestrelwood from ~/.vst3, Fx|EQ, 2 in, 2 out"
