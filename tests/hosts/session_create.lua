-- Run by ardour7-lua (Ardour's headless Lua session tool) for
-- ardour_session.sh. Builds a session around the plug-in and saves one
-- snapshot per setting to render:
--   defaults  every parameter at its default
--   shelves   both shelves at +20 dB, set through Ardour's controls
--   bypassed  the shelves at +20 dB and the plug-in disabled in Ardour
--   lowend    factory program "05 Low End Boost", selected as Ardour's preset
--   recall    a distinct value in every parameter, for the reopen check
--   programs  "02 User Preset 2" edited, then "03 User Preset 3" selected
--             and edited: only the state chunk keeps program 2's edit
--             (VST 2 only)
-- Environment: ZE710_SESSION_DIR (created here), ZE710_RECORD_SECONDS,
-- ZE710_PLUGIN_TYPE (LXVST, the default, or LV2).
-- Prints tab-separated result lines that the shell script checks; the last
-- line is "done". ardour7-lua exits with 0 even after a Lua error, so a
-- missing "done" is the failure signal.

local session_dir = assert(os.getenv("ZE710_SESSION_DIR"), "ZE710_SESSION_DIR not set")
local record_seconds = tonumber(os.getenv("ZE710_RECORD_SECONDS") or "4")
local function emit(...) print(table.concat({...}, "\t")) end
local type_name = os.getenv("ZE710_PLUGIN_TYPE") or "LXVST"
local plugin_type = assert(ARDOUR.PluginType[type_name], "unknown plug-in type " .. type_name)
-- Values in the plug-in's own units: normalised in VST 2, dB, Hz and octaves in LV2.
local units = ({
	LXVST = {boost = 1.0, flat = 0.5, lowend_lf = 0.7375, recall = {0.9, 0.15, 0.3, 0.65, 0.8, 0.2, 0.35, 0.0, 0.75}},
	LV2 = {boost = 20.0, flat = 0.0, lowend_lf = 9.5, recall = {16, -14, 300, 6, 180, 4500, 1.0, 0.0, 0.75}},
})[type_name]

-- Wait up to `seconds` for cond() to hold while the engine keeps running.
local function wait_for(seconds, cond)
	for _ = 1, seconds * 20 do
		if cond() then return true end
		ARDOUR.LuaAPI.usleep(50000)
	end
	return cond()
end

-- The Dummy backend's inputs are signal generators; the device picks one.
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
assert(backend, "no Dummy backend")
assert(backend:set_device_name("Uniform White Noise") == 0, "no white-noise generator")
assert(create_session(session_dir, "ze710", 48000), "cannot create the session")

-- Ardour lists LXVST plug-ins only once a session exists.
local listed = false
for info in ARDOUR.LuaAPI.list_plugins():iter() do
	if info.type == plugin_type and info.name == "ZE710" then
		emit("listed", info.name, info.creator, tostring(info.unique_id), info.path)
		listed = listed or info.name == "ZE710"
	end
end
assert(listed, "ZE710 is not in Ardour's plug-in list")

local track = Session:new_audio_track(2, 2, nil, 1, "EQ", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
assert(track and not track:isnil(), "cannot add a stereo track")
local proc = ARDOUR.LuaAPI.new_plugin(Session, "ZE710", plugin_type, "")
assert(not proc:isnil(), "Ardour cannot instantiate ZE710")
assert(track:add_processor_by_index(proc, 0, nil, true) == 0, "cannot insert the plug-in")
local insert = proc:to_insert()
local plugin = insert:plugin(0)
-- The port (LV2) or parameter (VST 2) of each control input, in order.
local controls = {}
for i = 0, plugin:parameter_count() - 1 do
	local port, refs = plugin:nth_parameter(i, false)
	if refs[2] and plugin:parameter_is_input(port) then controls[#controls + 1] = port end
end
emit("plugin", plugin:name(), plugin:maker(), tostring(#controls))

local function value(i) return ARDOUR.LuaAPI.get_plugin_insert_param(insert, i, true) end
local function set(i, v)
	assert(ARDOUR.LuaAPI.set_plugin_insert_param(insert, i, v), "cannot set parameter " .. i)
end
local function emit_params(tag)
	for i, port in ipairs(controls) do
		local _, d = plugin:get_parameter_descriptor(port, ARDOUR.ParameterDescriptor())
		emit(tag, tostring(i - 1), d[2].label, string.format("%.6f", value(i - 1)),
		     string.format("%g..%g", d[2].lower, d[2].upper))
	end
end
emit_params("param")

-- Display texts as Ardour shows them come from the plug-in (its generic
-- editor asks for them); Ardour 7.3's Lua interface offers no way to read
-- them (a plug-in control has no get_user_string there), so say so instead.
for i, port in ipairs(controls) do
	local control = insert:to_automatable():automation_control(
		Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, port), false)
	assert(not control:isnil(), "no control for parameter " .. port)
	if control.get_user_string then
		emit("display", tostring(i - 1), control:get_user_string())
	else
		emit("display-unavailable", tostring(i - 1))
	end
end

-- Record the generator through the rolling transport.
track:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
Session:maybe_enable_record(false)
Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
assert(wait_for(10, function() return Session:actively_recording() end), "recording did not start")
ARDOUR.LuaAPI.usleep(math.floor(record_seconds * 1e6))
Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
assert(wait_for(10, function() return not Session:transport_rolling() end), "transport did not stop")
-- Renders must play the take back, not the live generator.
track:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
track:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorDisk, PBD.GroupControlDisposition.NoGroup)
emit("recorded", tostring(track:playlist():n_regions()),
     tostring(Session:current_start_sample()), tostring(Session:current_end_sample()))

local function snapshot(name)
	assert(Session:save_state(name, false, false, false, false, false) == 0, "cannot save " .. name)
	emit("snapshot", name)
end
snapshot("defaults")

set(0, units.boost) -- high shelf +20 dB
set(1, units.boost) -- low shelf +20 dB
emit_params("shelves")
snapshot("shelves")

-- Disabling the plug-in in Ardour: with the "bypass" capability Ardour keeps
-- it running and switches it to its own bypass (effSetBypass) instead; an
-- LV2 plug-in without an enable port Ardour bypasses itself.
insert:enable(false)
emit("enabled", tostring(insert:enabled()))
snapshot("bypassed")
insert:enable(true)
set(0, units.flat)
set(1, units.flat)

-- Ardour offers a VST plug-in's programs (and LV2 presets) as factory
-- presets; it hands the change to the plug-in from its process thread, so
-- wait for it.
local preset = plugin:preset_by_label("05 Low End Boost")
assert(preset and preset.valid, "Ardour offers no preset \"05 Low End Boost\"")
emit("preset", preset.uri, preset.label, tostring(preset.user))
assert(plugin:load_preset(preset), "Ardour cannot load the preset")
assert(wait_for(5, function() return math.abs(value(1) - units.lowend_lf) < 1e-6 end),
       "the preset's values did not arrive")
emit_params("lowend")
snapshot("lowend")

for i, v in ipairs(units.recall) do set(i - 1, v) end
emit_params("recall")
snapshot("recall")

-- Edit a program, step to another and edit that one too. Ardour changes
-- programs from its process thread: wait for the program's values.
local function select_program(label, index, expected)
	local p = plugin:preset_by_label(label)
	assert(p and p.valid and plugin:load_preset(p), "cannot select " .. label)
	assert(wait_for(5, function() return math.abs(value(index) - expected) < 1e-6 end),
	       label .. " did not arrive")
end
if type_name == "LXVST" then -- LV2 has no programs
	select_program("02 User Preset 2", 0, 0.5)
	set(1, 1.0) -- "LF dB" +20 dB in program 2
	select_program("03 User Preset 3", 1, 0.5)
	set(0, 0.8) -- "HF dB" +12 dB in program 3
	emit_params("programs")
	snapshot("programs")
end

close_session()
print("done")
