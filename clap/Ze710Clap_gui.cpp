// Ze710Clap: clap.gui (X11, embedded) and the editor's CEditorHost.
//
// The editor is made with the instance and lives until the instance is
// destroyed (editor/CEditorGUI.h, retire): gui.create and gui.destroy only
// open and close its window. Its size is the bank's editor size, "UI Size",
// kept with the state; the size rule (editor_geometry) fixes the width at
// 468 pixels times the display scale, so a host may resize the height only.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "clap/Ze710Clap.h"
#include "editor/CEditorGUI.h"
#include "editor/editor_globals.h"

namespace {

// The order in which a selected program's values go out, as the VST 2
// effect automates them.
constexpr int kProgramOrder[kEqNumSoundParams] = {kEqHfGain, kEqLfGain, kEqMidGain, kEqHfFreq,
                                                  kEqLfFreq, kEqMidFreq, kEqMidBw,  kEqEffect};

// The main thread's tick while the editor exists: the editor's own update
// interval, so a host change shows no later than the editor would paint it.
constexpr uint32_t kMainThreadTickMs = CEditorGUI::kGuiUpdateIntervalMs;

uint64_t packed(uint32_t width, uint32_t height) { return static_cast<uint64_t>(width) << 32 | height; }

bool is_x11(const char* api) { return api && std::strcmp(api, CLAP_WINDOW_API_X11) == 0; }

}  // namespace

// ---- clap.gui (main thread) ------------------------------------------------------------

float Ze710Clap::display_scale() const
{
    return G_GUI_engine ? G_GUI_engine->get_optimum_scale_factor() : 1.0f;
}

bool Ze710Clap::gui_api_supported(const char* api, bool floating) const
{
    return is_x11(api) && !floating;
}

bool Ze710Clap::gui_create(const char* api, bool floating)
{
    if (!gui_api_supported(api, floating) || gui_created)
        return false;
    gui_created = true;
    start_main_thread_timer();
    return true;
}

void Ze710Clap::gui_destroy()
{
    editor_gui->close();
    gui_created = false;
    stop_main_thread_timer();
}

void Ze710Clap::start_main_thread_timer()
{
    if (host_timers && timer_id == CLAP_INVALID_ID &&
        !host_timers->register_timer(host, kMainThreadTickMs, &timer_id))
        timer_id = CLAP_INVALID_ID;
}

void Ze710Clap::stop_main_thread_timer()
{
    if (host_timers && timer_id != CLAP_INVALID_ID)
        host_timers->unregister_timer(host, timer_id);
    timer_id = CLAP_INVALID_ID;
}

bool Ze710Clap::gui_get_size(uint32_t* width, uint32_t* height)
{
    if (!width || !height)
        return false;
    int w, h;
    editor_gui->getRect(&w, &h);
    *width = static_cast<uint32_t>(w);
    *height = static_cast<uint32_t>(h);
    return true;
}

bool Ze710Clap::gui_adjust_size(uint32_t* width, uint32_t* height)
{
    if (!width || !height)
        return false;
    // The editor size whose window height is nearest the host's.
    const float scale = display_scale();
    const float ui_size = static_cast<float>(*height) / (CEditorGUI::kPanelHeight * scale) - 1.0f;
    const CEditorGeometry g = editor_geometry(ui_size, scale);
    *width = static_cast<uint32_t>(g.window_width);
    *height = static_cast<uint32_t>(g.window_height);
    return true;
}

bool Ze710Clap::gui_set_size(uint32_t width, uint32_t height)
{
    uint32_t w = width, h = height;
    gui_adjust_size(&w, &h);
    const float scale = display_scale();
    const float ui_size = static_cast<float>(h) / (CEditorGUI::kPanelHeight * scale) - 1.0f;
    const float v = ui_size < 0.0f ? 0.0f : (ui_size > 1.0f ? 1.0f : ui_size);
    bank.set_value(kEqUiSize, v);
    editor_gui->setParameter(kEqUiSize, v);
    // The host set this size: the editor's answer is not asked back of it.
    host_sized = packed(w, h);
    editor_gui->follow_ui_size();
    host_sized = 0;
    if (host_state && host_state->mark_dirty)
        host_state->mark_dirty(host);
    return w == width && h == height;
}

bool Ze710Clap::gui_set_parent(const clap_window_t* window)
{
    if (!gui_created || !window || !is_x11(window->api) || !window->x11)
        return false;
    editor_gui->setHostEffEnable(plain[kClapBypassSlot].load() > 0.5f ? 0.0f : 1.0f);
    editor_gui->open(reinterpret_cast<void*>(window->x11));
    return editor_gui->is_editor_running();
}

// ---- requests to the host -----------------------------------------------------------------

void Ze710Clap::request_flush()
{
    std::lock_guard<std::mutex> lock(host_call_mutex);
    if (retiring)
        return;
    if (host_params && host_params->request_flush)
        host_params->request_flush(host);
    else if (host->request_process)
        host->request_process(host);
}

void Ze710Clap::request_main_thread_call()
{
    std::lock_guard<std::mutex> lock(host_call_mutex);
    if (!retiring && host->request_callback)
        host->request_callback(host);
}

void Ze710Clap::request_editor_size(int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const uint64_t size = packed(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    if (pthread_equal(pthread_self(), main_thread)) {
        if (size != host_sized && host_gui && host_gui->request_resize)
            host_gui->request_resize(host, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
        return;
    }
    // request_resize is the main thread's: on_main_thread delivers it.
    wanted_size.store(size);
    request_main_thread_call();
}

// ---- CEditorHost (GUI thread) ----------------------------------------------------------------

float Ze710Clap::getParameter(int index)
{
    if (index >= 0 && index < kEqNumSoundParams)
        return clap_normalised_of(index, plain[index].load());
    return index == kEqUiSize ? bank.value(kEqUiSize) : 0.0f;
}

void Ze710Clap::beginEdit(int index)
{
    if (index < 0 || index >= kEqNumSoundParams)
        return;
    gestures.fetch_or(1u << index);
    outbox.push(ClapOutbox::kBegin, clap_id_of(index));
    request_flush();
}

void Ze710Clap::endEdit(int index)
{
    // The editor ends every parameter at every release; the host hears the
    // end of the gestures it heard begin.
    if (index < 0 || index >= kEqNumSoundParams || !(gestures.fetch_and(~(1u << index)) & (1u << index)))
        return;
    outbox.push(ClapOutbox::kEnd, clap_id_of(index));
    request_flush();
}

void Ze710Clap::setParameterAutomated(int index, float value)
{
    if (!std::isfinite(value))
        return;
    value = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
    if (index == kEqUiSize) {
        // Not a parameter: kept with the state, which is now changed.
        bank.set_value(kEqUiSize, value);
        editor_gui->setParameter(kEqUiSize, value);
        state_dirty.store(true);
        request_main_thread_call();
        return;
    }
    if (index < 0 || index >= kEqNumSoundParams)
        return;
    const float v = clap_plain_of(index, value);
    plain[index].store(v);
    to_engine.fetch_or(1u << index);
    bank.set_value(index, value);
    editor_gui->setParameter(index, value);
    outbox.push(ClapOutbox::kValue, clap_id_of(index), v);
    request_flush();
}

int Ze710Clap::getNumPrograms()
{
    return kEqNumPrograms;
}

void Ze710Clap::setProgram(int index)
{
    EqProgram program;
    index = bank.select_program(index, &program);
    for (int p : kProgramOrder)
        setParameterAutomated(p, program.value[p]);
    editor_gui->setProgram(index);
}

void Ze710Clap::getProgramName(char* text, int size)
{
    if (!text || size <= 0)
        return;
    const EqProgram program = bank.program(bank.current_program());
    std::snprintf(text, static_cast<size_t>(size), "%s", program.name);
}

void Ze710Clap::sizeWindow(int width, int height)
{
    request_editor_size(width, height);
}
