-- Run by ardour7-lua in a fresh process: reopens the snapshot named by
-- ZE710_SNAPSHOT (default "recall") and prints every parameter value the
-- plug-in instance has after Ardour restored it; with ZE710_SELECT set, it
-- then selects that preset (a program of the plug-in) and prints the values
-- again, tagged "selected"; with ZE710_SAVE_AS set, it saves the session
-- as that snapshot; then "done".
local session_dir = assert(os.getenv("ZE710_SESSION_DIR"), "ZE710_SESSION_DIR not set")

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
assert(load_session(session_dir, os.getenv("ZE710_SNAPSHOT") or "recall"), "cannot open the snapshot")
local track = Session:route_by_name("EQ")
assert(not track:isnil(), "the track is gone")
local proc = track:nth_plugin(0)
assert(not proc:isnil(), "the plug-in is gone")
local insert = proc:to_insert()
local plugin = insert:plugin(0)
local emit = function(...) print(table.concat({...}, "\t")) end
emit("reopened", plugin:name(), tostring(plugin:parameter_count()))
for i = 0, plugin:parameter_count() - 1 do
	emit("restored", tostring(i), string.format("%.6f", ARDOUR.LuaAPI.get_plugin_insert_param(insert, i, true)))
end
local select = os.getenv("ZE710_SELECT") or ""
if select ~= "" then
	local preset = plugin:preset_by_label(select)
	local before = ARDOUR.LuaAPI.get_plugin_insert_param(insert, 0, true)
	assert(preset and preset.valid and plugin:load_preset(preset), "cannot select " .. select)
	for _ = 1, 100 do -- the program change comes from Ardour's process thread
		if ARDOUR.LuaAPI.get_plugin_insert_param(insert, 0, true) ~= before then break end
		ARDOUR.LuaAPI.usleep(50000)
	end
	for i = 0, plugin:parameter_count() - 1 do
		emit("selected", tostring(i), string.format("%.6f", ARDOUR.LuaAPI.get_plugin_insert_param(insert, i, true)))
	end
end
local save_as = os.getenv("ZE710_SAVE_AS") or ""
if save_as ~= "" then  -- the state as this process has it, saved again
	assert(Session:save_state(save_as, false, false, false, false, false) == 0, "cannot save " .. save_as)
end
close_session()
print("done")
