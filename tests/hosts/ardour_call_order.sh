#!/usr/bin/env bash
# Ardour still makes the calls that ardour7_calls.txt records, in that
# order, with the freshly built plug-in giving the answers recorded there:
# its scanner, inserting the plug-in into a session, selecting a preset,
# saving, and reopening the saved snapshot. When Ardour or the plug-in
# changes, this test shows the new calls and answers as a diff against the
# file.
# usage: ardour_call_order.sh CALL_LOGGER.so PLUGIN.so ardour7_calls.txt
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/host_env.sh"
expected=$3

scanner=/usr/lib/ardour7/ardour-vst-scanner
need_file "$scanner"
need_file /usr/bin/ardour7-lua
# The logger stands in for the plug-in under the plug-in's name and loads
# the real one.
install_plugin "$1"
export ZE710_LOGGED_PLUGIN
ZE710_LOGGED_PLUGIN=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
export ZE710_CALL_LOG="$work/calls.log"
export ZE710_SESSION_DIR="$work/session"
: >"$ZE710_CALL_LOG"

echo "# ardour-vst-scanner" >>"$ZE710_CALL_LOG"
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 "$scanner" -q -f "$plugin" || fail "the scanner failed"

echo "# ardour7-lua: a new session" >>"$ZE710_CALL_LOG"
timeout 120 ardour7-lua "$here/session_calls.lua" >"$work/calls.out" 2>&1 || true
grep -qx done "$work/calls.out" || { cat "$work/calls.out"; fail "the session script did not finish"; }

echo "# ardour7-lua: reopen the snapshot, read every value, close" >>"$ZE710_CALL_LOG"
ZE710_SNAPSHOT=calls timeout 120 ardour7-lua "$here/session_reopen.lua" >"$work/reopen.out" 2>&1 || true
grep -qx done "$work/reopen.out" || { cat "$work/reopen.out"; fail "the reopen script did not finish"; }

echo "--- Ardour's calls"
cat "$ZE710_CALL_LOG"
# The file's own comment lines (##) are not calls.
if ! diff -u <(grep -v '^##' "$expected") "$ZE710_CALL_LOG"; then
    fail "Ardour's calls differ from $(basename "$expected") (diff above: - recorded, + now)"
fi
echo "PASS: Ardour made the $(grep -c -v '^#' "$ZE710_CALL_LOG") recorded calls in the recorded order"
