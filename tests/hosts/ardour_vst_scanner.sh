#!/usr/bin/env bash
# Ardour's own VST 2 scanner loads the freshly built plug-in and records it
# in its cache with our identity, two inputs, two outputs, an editor and
# replacing processing.
# usage: ardour_vst_scanner.sh PLUGIN.so
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/host_env.sh"

scanner=/usr/lib/ardour7/ardour-vst-scanner
need_file "$scanner"
install_plugin "$1"

echo "--- ardour-vst-scanner -f $plugin"
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 "$scanner" -f "$plugin" 2>&1 | tee "$work/scan.log" ||
    fail "the scanner failed (exit ${PIPESTATUS[0]})"

shopt -s nullglob
caches=("$XDG_CACHE_HOME"/ardour7/vst/*.v2i)
[ ${#caches[@]} -eq 1 ] || fail "expected one .v2i cache file, found ${#caches[@]}"
echo "--- ${caches[0]#"$work"/}"
cat "${caches[0]}"

grep -q "^\[Info\]: Found Plugin: '.*' ZE710\$" "$work/scan.log" || fail "the scanner did not report ZE710"
grep -q "binary=\"$plugin\"" "${caches[0]}" || fail "the cache names another binary"
info=$(grep '<VST2Info ' "${caches[0]}") || fail "no VST2Info entry"
[ "$(grep -c '<VST2Info ' "${caches[0]}")" -eq 1 ] || fail "more than one VST2Info entry"
# id: the unique ID "ZE71" as Ardour stores it, a decimal 0x5A453731.
for attr in 'id="1514485553"' 'name="ZE710"' 'creator="Kestrelwood"' 'n_inputs="2"' \
            'n_outputs="2"' 'n_midi_inputs="0"' 'n_midi_outputs="0"' 'is_instrument="0"' \
            'can_process_replace="1"' 'has_editor="1"'; do
    case "$info" in
    *" $attr"*) ;;
    *) fail "the cache entry lacks $attr" ;;
    esac
done
echo "PASS: Ardour's scanner records ZE710 by Kestrelwood, 2 in, 2 out, editor, replacing"
