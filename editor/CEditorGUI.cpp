// CEditorGUI: construction, the size rule, opening and closing the editor
// inside the host's window, and the window lifecycle handlers.
#include "editor/CEditorGUI.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "editor/editor_globals.h"
#include "editor/editor_gui_thread.h"
#include "model/ze710_version.h"
#include "editor/editor_x_errors.h"
#include "editor/images/ze710_images.h"
#include "widgets/CBannerObject.h"
#include "widgets/CFrontPanelObject.h"
#include "widgets/CPushButtonLatchingObject.h"
#include "widgets/CRotaryControlObject.h"

namespace {

constexpr useconds_t kAfterOpenPauseUs = 250000;   // host thread, after every open
constexpr useconds_t kEmbedRetryPauseUs = 100000;  // host thread, after a failed embedding
constexpr float kMinWidthFactor = 3.25f;  // the window is at least 468 panel pixels wide
constexpr float kMinHeightFactor = 1.0f;

void say(const char* message)
{
    std::fputs(message, stdout);
    std::fflush(stdout);
}

float clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : (v == v ? v : 0.0f)); }

}  // namespace

// ---- size rule ------------------------------------------------------------------

CEditorGeometry editor_geometry(float ui_size, float s)
{
    CEditorGeometry g;
    const float v = 1.0f + clamp01(ui_size);
    g.width_factor = v >= kMinWidthFactor ? v : kMinWidthFactor;
    g.height_factor = v >= kMinHeightFactor ? v : kMinHeightFactor;
    g.window_width = static_cast<int>(CEditorGUI::kPanelWidth * g.width_factor * s + 0.5f);
    g.window_height = static_cast<int>(CEditorGUI::kPanelHeight * g.height_factor * s + 0.5f);
    g.magnification = v * s;
    const int scaled_panel_width = static_cast<int>(CEditorGUI::kPanelWidth * v * s + 0.5f);
    g.panel_x_offset = (g.window_width - scaled_panel_width) >> 1;
    g.panel_y_offset = 0;
    return g;
}

// ---- construction -----------------------------------------------------------------

CEditorGUI::CEditorGUI(CEditorHost* effect) : effect(effect)
{
    pthread_mutex_init(&drawable_mutex, nullptr);
    // Recursive: the tick holds it while it calls the repaint operations,
    // which take it themselves for callers on other paths.
    pthread_mutexattr_t recursive;
    pthread_mutexattr_init(&recursive);
    pthread_mutexattr_settype(&recursive, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&widget_mutex, &recursive);
    pthread_mutexattr_destroy(&recursive);
    for (int i = 0; i < kNumMirroredParams; ++i)
        parameter_mirror[i] = i == kNumMirroredParams - 1 ? 1.0f : 0.5f;
    std::strcpy(window_title, "ZE710 Kestrelwood");
    std::snprintf(text_display, sizeof text_display, "ZE710 V%s", ZE710_VERSION_STRING);
}

CEditorGUI::~CEditorGUI()
{
    // Owners of an editor that may have been open free it through retire(),
    // which waits for no handler and frees nothing under a running one.
    input_enabled.store(false);
    if (G_GUI_engine) {
        if (editor_running_flag && window_is_ours())
            G_GUI_engine->destroy_afx_window(window_index);
        editor_running_flag = 0;
        cleanup_gui_objects();
    }
    // The host closes the instance without closing its editor: the last such
    // editor stops the GUI thread here, on the host's thread.
    release_gui_thread();
    pthread_mutex_destroy(&widget_mutex);
    pthread_mutex_destroy(&drawable_mutex);
}

void CEditorGUI::cleanup_gui_objects()
{
    delete front_panel;
    delete bypass_switch;
    delete status_button;
    delete left_button;
    delete right_button;
    delete lf_gain_knob;
    delete mid_freq_knob;
    delete hf_gain_knob;
    delete mid_gain_knob;
    delete lf_freq_knob;
    delete hf_freq_knob;
    delete mid_bw_knob;
    delete text_banner;
    front_panel = nullptr;
    bypass_switch = status_button = left_button = right_button = nullptr;
    lf_gain_knob = mid_freq_knob = hf_gain_knob = mid_gain_knob = nullptr;
    lf_freq_knob = hf_freq_knob = mid_bw_knob = nullptr;
    text_banner = nullptr;

    afx_pixbuf** images[] = {&bypass_strip,  &status_strip,   &left_strip,    &right_strip,
                             &lf_gain_strip, &mid_freq_strip, &hf_gain_strip, &mid_gain_strip,
                             &lf_freq_strip, &hf_freq_strip,  &mid_bw_strip,  &panel_image,
                             &window_icon};
    for (afx_pixbuf** image : images) {
        AFX_engine::afx_pixbuf_destroy(*image);
        *image = nullptr;
    }

    pthread_mutex_lock(&drawable_mutex);
    if (window_drawable && G_GUI_engine)
        G_GUI_engine->afx_pixmap_destroy(window_drawable);
    window_drawable = nullptr;
    pthread_mutex_unlock(&drawable_mutex);
    AFX_engine::afx_pixbuf_destroy_with_allocation(panel_buffer);
    panel_buffer = nullptr;
}

void CEditorGUI::set_plugin_name(char* name)
{
    if (!name)
        return;
    std::lock_guard<std::mutex> lock(title_mutex);
    const size_t n = strnlen(name, sizeof window_title - 1);
    std::memcpy(window_title, name, n);
    window_title[n] = 0;
}

// ---- size ---------------------------------------------------------------------------

float CEditorGUI::effect_ui_size()
{
    // The effect stores the host's value as it came; the window size must
    // stay within the two sizes the rule is made for.
    return clamp01(effect ? effect->getParameter(kUiSizeIndex) : 0.0f);
}

void CEditorGUI::apply_geometry(const CEditorGeometry& g)
{
    width_factor = g.width_factor;
    height_factor = g.height_factor;
    window_width = g.window_width;
    window_height = g.window_height;
    magnification = g.magnification;
    panel_x_offset = g.panel_x_offset;
    panel_y_offset = g.panel_y_offset;
}

void CEditorGUI::getRect(int* width, int* height)
{
    int w = kPanelWidth;
    int h = kPanelHeight;
    if (G_GUI_engine) {
        const CEditorGeometry g =
            editor_geometry(effect_ui_size(), G_GUI_engine->get_optimum_scale_factor());
        width_factor = g.width_factor;
        height_factor = g.height_factor;
        w = g.window_width;
        h = g.window_height;
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
}

// ---- open and close -------------------------------------------------------------------

bool CEditorGUI::window_is_ours()
{
    const int idx = window_index;
    return G_GUI_engine && idx >= 0 && window_sys_id != 0 &&
           G_GUI_engine->get_SYS_window_idx_for_afx_window(idx) == window_sys_id;
}

bool CEditorGUI::open(void* parent)
{
    // A host that destroyed its window without closing the editor took the
    // editor's window with it: the editor is closed then, whatever the flag says.
    if (editor_running_flag && !window_is_ours())
        editor_running_flag = 0;
    if (!editor_running_flag)
        start_editor(reinterpret_cast<unsigned long>(parent));
    return false;
}

void CEditorGUI::close()
{
    if (editor_running_flag) {
        stop_editor();
        editor_running_flag = 0;
    }
    // Also when the window went without the host's word (the window
    // manager, the host's window destroyed, the X server gone).
    release_gui_thread();
}

void CEditorGUI::retire(void (*dispose)(void*), void* owner)
{
    // Seen by every handler before its next call into the effect; one that
    // is inside a call now comes back to a live editor and owner.
    retired.store(true);
    close();
    // The window is gone, so no new handler starts on it.
    if (AFX_engine* engine = G_GUI_engine)
        engine->release_callback_data(this, dispose, owner);
    else
        dispose(owner);
}

void CEditorGUI::release_gui_thread()
{
    if (holds_gui_thread.exchange(false))
        editor_gui_thread_release();
}

void CEditorGUI::stop_editor()
{
    if (!editor_running_flag)
        return;
    editor_running_flag = 0;
    // The record may have been freed and reused by another editor since.
    if (G_GUI_engine && window_is_ours())
        G_GUI_engine->destroy_afx_window(window_index);
    window_sys_id = 0;
    // No callback starts on the destroyed window; one already running (it
    // may be inside a host call, even this very one) finishes on its own:
    // the editor and its effect stay until the owner retires, and retire
    // frees nothing under a running handler.
    input_enabled.store(false);
}

void CEditorGUI::start_editor(unsigned long host)
{
    host_window = host;
    // The first editor of the process starts the GUI thread; it runs before
    // the window exists and wakes when the connection and the window come.
    if (!holds_gui_thread.load()) {
        if (editor_gui_thread_acquire())
            holds_gui_thread.store(true);
        else
            editor_running_flag = 0;
    }
    if (holds_gui_thread.load()) {
        start_editor_main();
        if (!editor_running_flag)
            release_gui_thread();
    }
    usleep(kAfterOpenPauseUs);
}

void CEditorGUI::start_editor_main()
{
    // 1. The engine exists from the module's load unless its thread failed.
    AFX_engine* engine = G_GUI_engine;
    if (!engine) {
        say("** ERROR ** ZE710-VST: GUI Engine is not running or was not started\n");
        editor_running_flag = 0;
        return;
    }
    // 2. Connect (the first open of the process, or after a lost connection).
    if (!engine->open_display_connection()) {
        say("** ERROR ** ZE710-VST: Unable to connect to X server\n");
        editor_running_flag = 0;
        return;
    }
    editor_x_errors_install();

    // 3. Size from the screen's scale and the effect's editor size.
    display_scale = engine->get_optimum_scale_factor();
    ui_size = effect_ui_size();
    resize_pending = false;
    fit_limit = 1.0f;
    apply_geometry(editor_geometry(ui_size, display_scale));
    const int width = window_width;
    const int height = window_height;

    // 4. The window, at device size (scale 1.0: sizes are device pixels).
    const int idx = engine->create_new_afx_window(0, 0, width, height, 1.0f, this);
    window_index = idx;
    if (idx < 0) {
        say("** ERROR ** ZE710-VST: Could not create GUI window\n");
        editor_running_flag = 0;
        return;
    }
    window_sys_id = engine->get_SYS_window_idx_for_afx_window(idx);

    // 5. Window-manager properties and input.
    engine->set_afx_window_scale_factor(idx, 1.0f);
    // Hosts that read the hints once, at the embedding (suil in Qt), may
    // give the editor up to its largest size later; hosts that read them
    // again get the size of each resize (hint_window_size).
    const CEditorGeometry largest = editor_geometry(1.0f, display_scale);
    engine->set_afx_window_size_policy(width, height, largest.window_width, largest.window_height, 0, 0, 0, 0, idx);
    char window_class[] = "harrowby-ui";
    engine->set_afx_window_class(window_class, idx);
    if (!window_icon)
        window_icon = AFX_engine::afx_pixbuf_new_from_inline(ze710_img_window_icon, idx);
    else
        AFX_engine::afx_pixbuf_reparent(window_icon, idx);
    if (window_icon)
        engine->set_afx_window_icon(window_icon, idx);
    char title[sizeof window_title];
    {
        std::lock_guard<std::mutex> lock(title_mutex);
        std::memcpy(title, window_title, sizeof title);
    }
    engine->set_afx_window_title(idx, title);
    engine->set_afx_window_type_wm_utility(idx);
    engine->select_afx_input_events(idx);

    // 6. Widgets and images (kept from an earlier open). A window that will
    // never be shown is not left behind on the server.
    if (create_gui_objects() < 0) {
        say("** ERROR ** ZE710-VST: Unable to allocate memory for GUI objects\n");
        engine->destroy_afx_window(idx);
        window_sys_id = 0;
        editor_running_flag = 0;
        return;
    }

    // 7. Layout from the parameter mirror, then the first picture.
    init_editor();
    draw_editor_window_contents();

    // 8. Callbacks, with this editor as their data; the 50 ms tick.
    engine->register_button_press_callback(idx, static_button_press_callback);
    engine->register_button_release_callback(idx, static_button_release_callback);
    engine->register_motion_notify_callback(idx, static_motion_notify_callback);
    engine->register_configure_callback(idx, static_config_notify_callback);
    engine->register_expose_callback(idx, static_expose_callback);
    engine->register_reparent_callback(idx, static_reparent_callback);
    engine->register_client_message_callback(idx, static_client_message_callback);
    engine->register_create_callback(idx, static_create_callback);
    engine->register_window_destroy_callback(idx, static_window_destroy_callback);
    engine->register_redraw_callback(idx, nullptr);
    engine->register_double_click_callback(idx, static_double_click_callback);
    engine->register_gui_update_callback(idx, static_gui_update_callback);
    engine->set_gui_update_interval(kGuiUpdateIntervalMs);

    // 9. Embed: two attempts; the window is shown unembedded after that.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (engine->reparent_afx_window_to_SYS_window(idx, host_window, 0, 0) == 0)
            break;
        say("** INFO ** RVM-4C: Host suplied window was not valid - retrying\n");
        usleep(kEmbedRetryPauseUs);
    }

    // 10. Show.
    engine->show_afx_window(idx);
    editor_running_flag = 1;
    input_enabled.store(true);
}

// ---- window lifecycle handlers (GUI thread) -----------------------------------------------

void CEditorGUI::window_destroy_handler(int, int, int)
{
    editor_running_flag = 0;
}

void CEditorGUI::reparent_handler(int, int) {}
void CEditorGUI::config_notify_handler(int, int) {}
void CEditorGUI::create_handler(int, int) {}
void CEditorGUI::client_message_handler(unsigned long) {}

// ---- trampolines ---------------------------------------------------------------------------

void CEditorGUI::static_button_press_callback(int x, int y, int button, int, void* data)
{
    static_cast<CEditorGUI*>(data)->button_press_handler(x, y, static_cast<unsigned>(button));
}

void CEditorGUI::static_button_release_callback(int x, int y, int button, int, void* data)
{
    static_cast<CEditorGUI*>(data)->button_release_handler(x, y, static_cast<unsigned>(button));
}

void CEditorGUI::static_motion_notify_callback(int x, int y, int, void* data)
{
    static_cast<CEditorGUI*>(data)->motion_notify_handler(x, y);
}

void CEditorGUI::static_double_click_callback(int x, int y, int button, int, void* data)
{
    static_cast<CEditorGUI*>(data)->double_click_handler(x, y, static_cast<unsigned>(button));
}

void CEditorGUI::static_config_notify_callback(int height, int width, int, void* data)
{
    static_cast<CEditorGUI*>(data)->config_notify_handler(height, width);
}

void CEditorGUI::static_expose_callback(int x, int y, int w, int h, int window, void* data)
{
    static_cast<CEditorGUI*>(data)->expose_handler(x, y, w, h, window);
}

void CEditorGUI::static_reparent_callback(int x, int y, void* data)
{
    static_cast<CEditorGUI*>(data)->reparent_handler(x, y);
}

void CEditorGUI::static_client_message_callback(unsigned long first_long, void* data)
{
    static_cast<CEditorGUI*>(data)->client_message_handler(first_long);
}

void CEditorGUI::static_create_callback(int height, int width, int, void* data)
{
    static_cast<CEditorGUI*>(data)->create_handler(height, width);
}

void CEditorGUI::static_window_destroy_callback(int x, int y, int window, void* data)
{
    static_cast<CEditorGUI*>(data)->window_destroy_handler(x, y, window);
}

bool CEditorGUI::static_gui_update_callback(void* data)
{
    static_cast<CEditorGUI*>(data)->gui_update_handler();
    return true;
}
