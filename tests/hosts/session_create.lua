-- Run by ardour7-lua (Ardour's headless Lua session tool) for
-- ardour_session.sh: a session around the plug-in (ZE710_PLUGIN_TYPE LXVST,
-- the default, LV2 or VST3) that records the Dummy backend's white noise,
-- saves the snapshot "defaults", selects the factory program "05 Low End
-- Boost" as Ardour's preset, sets
-- both shelves to +20 dB through Ardour's controls and saves the snapshot
-- "processed" to render and reopen. Then "programs": VST 2 and VST3, "02
-- User Preset 2" edited, then "03 User Preset 3" selected and edited; LV2,
-- the bundle preset "06 Presence" selected and edited after "05 Low End
-- Boost" was (only the plug-in's state keeps the earlier program's edit).
-- Prints tab-separated lines that
-- the script checks, the last one "done" (ardour7-lua exits with 0 even
-- after a Lua error).
local session_dir = assert(os.getenv("ZE710_SESSION_DIR"), "ZE710_SESSION_DIR not set")
local type_name = os.getenv("ZE710_PLUGIN_TYPE") or "LXVST"
local plugin_type = assert(ARDOUR.PluginType[type_name], "unknown plug-in type " .. type_name)
-- Values in the units Ardour shows: normalised in VST 2; dB in LV2 and in
-- VST3 (the controller's plain values).
local plain = type_name ~= "LXVST"
local function gain(v) return plain and 40 * v - 20 or v end
local boost, lowend_lf = gain(1.0), gain(0.7375)
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
	if info.type == plugin_type and info.name == "ZE710" then
		emit("listed", info.creator, tostring(info.unique_id), info.path)
	end
end
local track = Session:new_audio_track(2, 2, nil, 1, "EQ", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
local proc = ARDOUR.LuaAPI.new_plugin(Session, "ZE710", plugin_type, "")
assert(not proc:isnil(), "Ardour cannot instantiate ZE710")
assert(track:add_processor_by_index(proc, 0, nil, true) == 0, "cannot insert the plug-in")
local insert = proc:to_insert()
local plugin = insert:plugin(0)
-- The port (LV2) or parameter (VST 2) of each control input, in order.
local controls = 0
for i = 0, plugin:parameter_count() - 1 do
	local port, refs = plugin:nth_parameter(i, false)
	if refs[2] and plugin:parameter_is_input(port) then controls = controls + 1 end
end
local function value(i) return ARDOUR.LuaAPI.get_plugin_insert_param(insert, i, true) end
-- Each value set is read back, as Ardour's own windows read the controls
-- they show: Ardour hands a VST3 controller a value only when it reads it.
local function set(i, v)
	assert(ARDOUR.LuaAPI.set_plugin_insert_param(insert, i, v), "cannot set " .. i)
	value(i)
end
local function emit_params(tag)
	for i = 0, controls - 1 do
		local port = plugin:nth_parameter(i, false)
		local _, d = plugin:get_parameter_descriptor(port, ARDOUR.ParameterDescriptor())
		emit(tag, tostring(i), d[2].label, string.format("%.6f", value(i)))
	end
end
emit("plugin", plugin:name(), plugin:maker(), tostring(controls))
emit_params("param")

track:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
assert(wait_for(10, function() return Session:actively_recording() end), "recording did not start")
ARDOUR.LuaAPI.usleep(2000000)
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
assert(wait_for(10, function() return not Session:transport_rolling() end), "transport did not stop")
wait_for(10, function() return track:playlist():n_regions() > 0 end)  -- the butler writes the take
track:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)  -- play the take, not the generator
track:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorDisk, PBD.GroupControlDisposition.NoGroup)
emit("recorded", tostring(track:playlist():n_regions()), tostring(Session:current_end_sample() - Session:current_start_sample()))
-- The take through the plug-in at its defaults, rendered for VST3.
assert(Session:save_state("defaults", false, false, false, false, false) == 0, "cannot save the snapshot")

-- Ardour offers the programs (LV2: the bundle's presets) as presets and
-- changes them from its process thread.
local preset = plugin:preset_by_label("05 Low End Boost")
assert(preset and preset.valid, "Ardour offers no preset \"05 Low End Boost\"")
emit("preset", preset.uri)
assert(plugin:load_preset(preset), "Ardour cannot load the preset")
assert(wait_for(5, function() return math.abs(value(1) - lowend_lf) < 1e-4 end), "the preset's values did not arrive")
set(0, boost) set(1, boost)
emit_params("processed")
assert(Session:save_state("processed", false, false, false, false, false) == 0, "cannot save the snapshot")

if type_name == "LV2" then
	-- The bundle preset "06 Presence" makes program 6 current ("05 Low End
	-- Boost" keeps its shelves at +20 dB in the plug-in's bank), HF +12 dB
	-- there; saved as "programs" (the state keeps program 5's edit). An LV2
	-- plug-in learns a control's value when it runs, which Ardour does for
	-- a stopped track only now and then: the take plays meanwhile, and each
	-- change is given a few process cycles, as a user's hand gives them.
	Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
	assert(wait_for(10, function() return Session:transport_rolling() end), "the transport did not roll")
	local function let_run()
		local from = AudioEngine:processed_samples()
		assert(wait_for(5, function() return AudioEngine:processed_samples() - from >= 8192 end), "the engine stands still")
	end
	let_run()
	local presence = plugin:preset_by_label("06 Presence")
	assert(presence and presence.valid and plugin:load_preset(presence), "cannot select 06 Presence")
	assert(wait_for(5, function() return math.abs(value(1) - 5.26) < 1e-4 end), "06 Presence did not arrive")
	set(0, 12.0)
	let_run()
	Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
	assert(wait_for(10, function() return not Session:transport_rolling() end), "transport did not stop")
	assert(Session:save_state("programs", false, false, false, false, false) == 0, "cannot save the snapshot")
end
if type_name ~= "LV2" then
	local function select_program(label, index, expected)
		local p = plugin:preset_by_label(label)
		assert(p and p.valid and plugin:load_preset(p), "cannot select " .. label)
		assert(wait_for(5, function() return math.abs(value(index) - expected) < 1e-6 end), label .. " did not arrive")
	end
	select_program("02 User Preset 2", 0, gain(0.5))
	set(1, gain(1.0)) -- "LF dB" +20 dB in program 2
	select_program("03 User Preset 3", 1, gain(0.5))
	set(0, gain(0.8)) -- "HF dB" +12 dB in program 3
	assert(Session:save_state("programs", false, false, false, false, false) == 0, "cannot save the snapshot")
end
close_session()
print("done")
