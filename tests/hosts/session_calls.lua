-- Run by ardour7-lua for ardour_call_order.sh, with the call logger standing
-- in for the plug-in: creates a session, inserts the plug-in into a new
-- stereo track, selects the preset "05 Low End Boost", saves the snapshot
-- "calls" and closes. Between the steps it appends "# step" lines to the
-- call log, so the log reads as the host's calls step by step; it touches
-- the plug-in only from this thread, apart from the program change, which
-- Ardour makes from its process thread and which is awaited in the log.
local session_dir = assert(os.getenv("ZE710_SESSION_DIR"), "ZE710_SESSION_DIR not set")
local log_path = assert(os.getenv("ZE710_CALL_LOG"), "ZE710_CALL_LOG not set")

local function mark(step)
	local f = assert(io.open(log_path, "a"))
	f:write("# " .. step .. "\n")
	f:close()
end
local function logged(text)
	local f = io.open(log_path, "r")
	if not f then return false end
	local all = f:read("a")
	f:close()
	return all:find(text, 1, true) ~= nil
end

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
assert(create_session(session_dir, "calls", 48000), "cannot create the session")
local track = Session:new_audio_track(2, 2, nil, 1, "EQ", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
assert(track and not track:isnil(), "cannot add a stereo track")

mark("insert into a stereo track")
local proc = ARDOUR.LuaAPI.new_plugin(Session, "ZE710", ARDOUR.PluginType.LXVST, "")
assert(not proc:isnil(), "Ardour cannot instantiate ZE710")
assert(track:add_processor_by_index(proc, 0, nil, true) == 0, "cannot insert the plug-in")
local plugin = proc:to_insert():plugin(0)

mark("select the preset 05 Low End Boost")
local preset = plugin:preset_by_label("05 Low End Boost")
assert(preset and preset.valid, "no preset \"05 Low End Boost\"")
assert(plugin:load_preset(preset), "cannot load the preset")
local arrived = false
for _ = 1, 200 do
	arrived = logged("dispatch 68 ")  -- effEndSetProgram
	if arrived then break end
	ARDOUR.LuaAPI.usleep(50000)
end
assert(arrived, "the program change did not reach the plug-in")

mark("save the snapshot")
assert(Session:save_state("calls", false, false, false, false, false) == 0, "cannot save")
mark("close the session")
close_session()
print("done")
