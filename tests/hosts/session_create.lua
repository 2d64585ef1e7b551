-- Run by ardour7-lua (Ardour's headless Lua session tool) for
-- ardour_session.sh: a session around the plug-in that records the Dummy
-- backend's white noise, selects the factory program "05 Low End Boost" as
-- Ardour's preset, sets both shelves to +20 dB through Ardour's controls and
-- saves the snapshot "processed" to render. Prints tab-separated lines that
-- the script checks, the last one "done" (ardour7-lua exits with 0 even
-- after a Lua error).
local session_dir = assert(os.getenv("ZE710_SESSION_DIR"), "ZE710_SESSION_DIR not set")
local function emit(...) print(table.concat({...}, "\t")) end
local function wait_for(seconds, cond)
	for _ = 1, seconds * 20 do
		if cond() then return true end
		ARDOUR.LuaAPI.usleep(50000)
	end
	return cond()
end

local backend = assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
assert(backend:set_device_name("Uniform White Noise") == 0, "no white-noise generator")
assert(create_session(session_dir, "ze710", 48000), "cannot create the session")
for info in ARDOUR.LuaAPI.list_plugins():iter() do  -- LXVST plug-ins are listed once a session exists
	if info.name == "ZE710" then emit("listed", info.creator, tostring(info.unique_id), info.path) end
end
local track = Session:new_audio_track(2, 2, nil, 1, "EQ", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
local proc = ARDOUR.LuaAPI.new_plugin(Session, "ZE710", ARDOUR.PluginType.LXVST, "")
assert(not proc:isnil(), "Ardour cannot instantiate ZE710")
assert(track:add_processor_by_index(proc, 0, nil, true) == 0, "cannot insert the plug-in")
local insert = proc:to_insert()
local plugin = insert:plugin(0)
local function value(i) return ARDOUR.LuaAPI.get_plugin_insert_param(insert, i, true) end
local function set(i, v) assert(ARDOUR.LuaAPI.set_plugin_insert_param(insert, i, v), "cannot set " .. i) end
local function emit_params(tag)
	for i = 0, plugin:parameter_count() - 1 do
		local _, d = plugin:get_parameter_descriptor(i, ARDOUR.ParameterDescriptor())
		emit(tag, tostring(i), d[2].label, string.format("%.6f", value(i)))
	end
end
emit("plugin", plugin:name(), plugin:maker(), tostring(plugin:parameter_count()))
emit_params("param")

track:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
assert(wait_for(10, function() return Session:actively_recording() end), "recording did not start")
ARDOUR.LuaAPI.usleep(3000000)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
assert(wait_for(10, function() return not Session:transport_rolling() end), "transport did not stop")
wait_for(10, function() return track:playlist():n_regions() > 0 end)  -- the butler writes the take
track:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)  -- play the take, not the generator
track:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorDisk, PBD.GroupControlDisposition.NoGroup)
emit("recorded", tostring(track:playlist():n_regions()), tostring(Session:current_end_sample() - Session:current_start_sample()))

-- Ardour offers the programs as presets and changes the program from its process thread.
local preset = plugin:preset_by_label("05 Low End Boost")
assert(preset and preset.valid, "Ardour offers no preset \"05 Low End Boost\"")
emit("preset", preset.uri)
assert(plugin:load_preset(preset), "Ardour cannot load the preset")
assert(wait_for(5, function() return math.abs(value(1) - 0.7375) < 1e-6 end), "the preset's values did not arrive")
set(0, 1.0) set(1, 1.0)
assert(Session:save_state("processed", false, false, false, false, false) == 0, "cannot save the snapshot")
close_session()
print("done")
