// CEditorGUI: the plug-in's editor window, drawn with the in-house toolkit
// (AFX_engine) and embedded into the X window the host hands to open().
//
// Two threads work on an editor. The host's thread constructs and destroys
// it, calls getRect, open and close, and sends the effect's notifications
// (setParameter, setProgram, setHostEffEnable, set_plugin_name). The one GUI
// event thread of the process (editor_library.cpp) runs the engine's loop and
// calls the editor's registered callbacks: expose, the 50 ms update tick, the
// window lifecycle handlers and the input handlers.
//
// Drawing: every widget paints into one 144 x 510 panel buffer; only the tick
// repaints widgets, and only the expose handler scales the panel buffer into
// the window drawable and puts it on the screen. Notifications only record
// values, move widgets, format the banner text and raise the update flag.
//
// Locks, in this order (an earlier one may be held while taking a later one):
//   the effect's instance mutex (held by the effect around setParameter;
//                 the notifications it makes under it take no lock at all,
//                 set_plugin_name only the leaf title_mutex)
//   the engine's procs mutex (held by the engine around the tick and expose)
//   widget_mutex: widget values, dirty flags, the text display buffer, the
//                 banner's text and the panel buffer while widgets paint.
//                 Never held while calling into the effect: the effect
//                 answers a change with setParameter, which takes it.
//   the process-wide font mutex (editor_library.h): the font engine's
//                 foreground colour while a banner renders its text
//   drawable_mutex: the window drawable (replacement, expose)
//   the engine's display mutex
// Scalars shared between the threads are relaxed atomics.
#pragma once

#include <pthread.h>

#include <atomic>
#include <mutex>

#include "editor/CEditorHost.h"
#include "gui_engine/AFX_engine.h"
#include "gui_engine/afx_relaxed.h"

class CBannerObject;
class CFrontPanelObject;
class CPushButtonLatchingObject;
class CRotaryControlObject;

// The size rule: window size, magnification and panel placement for an
// editor size parameter (0 to 1, clamped) and a display scale.
struct CEditorGeometry {
    float width_factor;
    float height_factor;
    int window_width;  // device pixels
    int window_height;
    float magnification;  // panel pixels to device pixels
    int panel_x_offset;   // device pixels; the scaled panel is centred
    int panel_y_offset;   // always 0
};
CEditorGeometry editor_geometry(float ui_size, float display_scale);

// The logarithmic knob law: lo x (hi / lo)^fraction, in single precision.
float get_freq_from_knob_fract(float lo_hz, float hi_hz, float fraction);

// Each plug-in format holds one per instance in its adapter (CEditorHost.h),
// which forwards the host's open, close and size requests.
class CEditorGUI {
public:
    static constexpr int kPanelWidth = 144;  // panel pixels
    static constexpr int kPanelHeight = 510;
    static constexpr int kNumMirroredParams = 8;
    static constexpr int kUiSizeIndex = 8;
    static constexpr int kTextDisplaySize = 128;
    static constexpr int kParameterTextBound = 64;  // bytes of a parameter text, terminator included
    static constexpr int kGuiUpdateIntervalMs = 50;
    // Text timer, in update ticks.
    static constexpr int kTextHoldTicks = 500;      // a new text goes up
    static constexpr int kStatusHoldTicks = 100;    // the status button was pressed
    static constexpr int kRevertToVersionAt = 450;  // 2.5 s after a new text
    static constexpr int kBlankAt = 50;             // 20 s after the version text
    // How often the tick looks whether the host shows the window whole, and
    // how long after a resize it first looks (the host's time to follow).
    static constexpr int kFitCheckTicks = 20;       // 1 s

    // Host thread, from the adapter's constructor; makes no engine call, so
    // an editor can exist before any display does.
    explicit CEditorGUI(CEditorHost* effect);
    // Host thread: destroys an open window and frees widgets and images.
    ~CEditorGUI();
    CEditorGUI(const CEditorGUI&) = delete;
    CEditorGUI& operator=(const CEditorGUI&) = delete;

    // Host thread. The window size by the size rule for the effect's editor
    // size (144 x 510 without an engine), device pixels.
    void getRect(int* width, int* height);
    // Host thread. parent is the host's X window id. Opens the editor unless
    // it is open; blocks for about 250 ms (350 to 450 ms when embedding
    // fails). Returns false (0) in every case.
    bool open(void* parent);
    // Host thread. Destroys the window; widgets and images stay for a re-open.
    void close();
    // Host thread, instead of deleting the editor's owner (the format's
    // adapter, or the effect that holds it): the owner is going away. Closes
    // the window and stops every further CEditorHost call; dispose(owner)
    // must free the owner and with it this editor. It runs here and now, or,
    // when an input handler of this editor is running (perhaps inside a
    // host callback through CEditorHost), on the GUI thread once that
    // handler has returned. The caller must not touch the owner afterwards.
    void retire(void (*dispose)(void* owner), void* owner);

    // ---- notifications from the effect -----------------------------------
    // Any thread, the host's audio thread included, possibly under the
    // effect's mutex: lock-free, never waits; records the value, and the
    // widgets follow at the next tick. index 0 to 8, value normalised; other
    // indices are ignored.
    void setParameter(int index, float value);
    // Called outside the effect's mutex: reads the program name back.
    void setProgram(int index);
    // value > 0.5: the host has the effect enabled. Under the effect's mutex.
    void setHostEffEnable(float value);
    // Called outside the effect's mutex after the effect restored its state
    // from a chunk: an open window whose size no longer matches the stored
    // editor size asks the host for the new size here and is resized by the
    // next update tick, on the GUI thread.
    void follow_ui_size();
    // Copies at most 255 characters into the window title; used at the next
    // open. Takes only title_mutex, so it never waits for painting.
    void set_plugin_name(char* name);
    void resizeParentWindow(int /*width*/, int /*height*/) {}

    // ---- lifecycle (host thread) -------------------------------------------
    void start_editor(unsigned long host_window);
    void start_editor_main();
    void stop_editor();
    void cleanup_gui_objects();
    // Gives back this editor's hold on the GUI thread, if it has one.
    void release_gui_thread();

    // ---- layout --------------------------------------------------------------
    // 0 when every object and image exists afterwards, -1 otherwise.
    int create_gui_objects();
    int create_gui_objects_locked();  // widget_mutex held
    void init_editor();
    // Stores the value clamped to 0..1; neither resizes nor repaints.
    void control_update_ui_size(float value);
    // GUI thread: applies the stored ui size to the window and tells the host.
    void control_redraw_ui_size();
    // The window's size hints (minimum = maximum = the size) for a new size,
    // set before the host is asked for it (any thread).
    void hint_window_size(int width, int height);
    // GUI thread, from the tick: where the host's window still shows less
    // of the editor than its size, the editor takes the largest size that
    // it shows whole and moves into the part it shows, and grows back up to
    // the stored size when the host's window grows again. The host is not
    // asked for anything.
    void fit_to_host();
    // GUI thread: the window, its drawable and the panel placement to the
    // stored ui size, queued for a full redraw; the host is not told.
    void resize_window();

    // ---- update cycle (GUI thread unless said otherwise) --------------------
    void signal_gui_update();  // any thread
    void gui_update_handler();
    // GUI thread: the widgets take the values setParameter recorded since,
    // and the banner buffer the text of the latest. Takes widget_mutex.
    void take_parameter_changes();
    // Puts the text display buffer on the banner and restarts the text timer.
    // Takes widget_mutex: not for callers that hold it.
    void control_redraw_parameter_display();
    void control_redraw_lf_gain();
    void control_redraw_hf_gain();
    void control_redraw_mid_freq();
    void control_redraw_mid_gain();
    void control_redraw_lf_freq();
    void control_redraw_hf_freq();
    void control_redraw_mid_bw();
    void control_redraw_bypass_switch();
    void control_redraw_status_button();
    void control_redraw_left_button();
    void control_redraw_right_button();
    void control_redraw_text_banner();
    void revert_text_display1();
    void revert_text_display2();
    // Any thread: queues a window rectangle (device pixels) for expose.
    void NeedsRedrawInRect(int x, int y, int w, int h);
    void expose_handler(int x, int y, int w, int h, int window);
    // Host thread, during open: the drawable and the first picture.
    void draw_editor_window_contents();

    // Parameter texts from a knob's current value (widget_mutex held).
    void parameter_show_hf_gain();
    void parameter_show_lf_gain();
    void parameter_show_mid_freq();
    void parameter_show_mid_gain();
    void parameter_show_lf_freq();
    void parameter_show_hf_freq();
    void parameter_show_mid_bw();

    // ---- window lifecycle and input handlers (GUI thread) --------------------
    void window_destroy_handler(int x, int y, int window);
    void reparent_handler(int x, int y);
    void config_notify_handler(int height, int width);
    void create_handler(int height, int width);
    void client_message_handler(unsigned long first_long);
    void button_press_handler(int x, int y, unsigned int button);
    void button_release_handler(int x, int y, unsigned int button);
    void motion_notify_handler(int x, int y);
    void double_click_handler(int x, int y, unsigned int button);
    // The actions of the three top-strip buttons, after the press handler
    // changed the button's value. They call into the effect: no widget_mutex.
    void control_update_status_button();
    void control_update_left_button();
    void control_update_right_button();

    // ---- state for tests, tools and the host (any thread) --------------------
    bool is_editor_running() const { return editor_running_flag != 0; }
    int get_window_index() const { return window_index; }
    int get_window_width() const { return window_width; }
    int get_window_height() const { return window_height; }
    int get_panel_x_offset() const { return panel_x_offset; }
    float get_magnification() const { return magnification; }
    bool get_host_bypass() const { return host_bypass_flag; }
    bool get_program_name_shown() const { return program_name_shown_flag; }
    int get_text_display_countdown() const { return text_display_countdown; }
    // Copies the text display buffer (terminated, at most size - 1 bytes).
    void get_text_display(char* out, int size);

private:
    // Static trampolines registered with the engine; data is the editor.
    static void static_button_press_callback(int x, int y, int button, int window, void* data);
    static void static_button_release_callback(int x, int y, int button, int window, void* data);
    static void static_motion_notify_callback(int x, int y, int window, void* data);
    static void static_double_click_callback(int x, int y, int button, int window, void* data);
    static void static_config_notify_callback(int height, int width, int window, void* data);
    static void static_expose_callback(int x, int y, int w, int h, int window, void* data);
    static void static_reparent_callback(int x, int y, void* data);
    static void static_client_message_callback(unsigned long first_long, void* data);
    static void static_create_callback(int height, int width, int window, void* data);
    static void static_window_destroy_callback(int x, int y, int window, void* data);
    static bool static_gui_update_callback(void* data);

    void apply_geometry(const CEditorGeometry& g);
    float effect_ui_size();  // the effect's stored editor size, clamped to 0..1
    // Whether the engine record at window_index is still the window this
    // editor created (a host may destroy its window, and the record be reused).
    bool window_is_ours();
    // Copies text into the text display buffer (widget_mutex held).
    void set_text_display(const char* text);
    // Renders the text display buffer into the banner (widget_mutex held).
    void banner_show_text_display();
    // Panel rectangle to window coordinates, queued for expose.
    void queue_panel_area(int x, int y, int w, int h);
    void redraw_knob(CRotaryControlObject* knob);
    void redraw_button(CPushButtonLatchingObject* button);
    void redraw_banner_locked();
    void create_window_drawable_locked();  // drawable_mutex held
    void format_knob_text(int index);       // widget_mutex held

    // ---- input (CEditorGUI_input.cpp) ----------------------------------------
    struct KnobSlot;
    class DetachedHost;
    void knob_slots(KnobSlot out[7]);  // in knob order
    void step_program(int step);       // left (-1) and right (+1) buttons
    // The effect, or once the owner is retiring a stand-in that does
    // nothing: handlers make every call through here, so that none reaches
    // an owner that is going away.
    CEditorHost& host();
    // Whether a new input handler may act: the editor open and not retiring.
    bool input_active();

    CEditorHost* effect;
    afx_relaxed<int> window_index{-1};
    afx_relaxed<unsigned long> window_sys_id{0};  // the X window behind window_index
    afx_relaxed<unsigned long> host_window{0};
    afx_relaxed<int> gui_update_flag{0};
    afx_relaxed<bool> resize_pending{false};  // follow_ui_size for the tick
    // The largest editor size the host's window showed whole when last
    // looked (fit_to_host); 1 while the host has yet to follow a resize.
    afx_relaxed<float> fit_limit{1.0f};
    int fit_check_countdown = kFitCheckTicks;  // GUI thread
    afx_relaxed<int> editor_running_flag{0};
    afx_relaxed<int> text_display_countdown{0};
    afx_relaxed<int> window_width{0};
    afx_relaxed<int> window_height{0};
    afx_relaxed<int> panel_x_offset{0};
    afx_relaxed<int> panel_y_offset{0};
    int size_drag_step_counter = 0;  // GUI thread
    afx_relaxed<bool> program_name_shown_flag{false};
    bool size_drag_flag = false;  // GUI thread
    afx_relaxed<bool> host_bypass_flag{false};
    afx_relaxed<bool> host_bypass_changed_flag{false};
    afx_relaxed<int> current_program{0};
    afx_relaxed<float> magnification{1.0f};
    afx_relaxed<float> display_scale{1.0f};
    float size_drag_accumulator = 0.0f;  // GUI thread
    afx_relaxed<float> width_factor{3.25f};
    afx_relaxed<float> height_factor{1.0f};
    // HF gain, LF gain, mid gain, HF freq, LF freq, mid freq, mid bandwidth,
    // bypass: normalised values as last reported by the effect.
    afx_relaxed<float> parameter_mirror[kNumMirroredParams];
    // Parameters 0 to 7 whose mirror value the widgets have not taken yet,
    // by bit (release by setParameter, acquire by take_parameter_changes),
    // and the one reported last.
    std::atomic<unsigned> pending_parameters{0};
    afx_relaxed<int> last_pending_parameter{-1};
    afx_relaxed<float> ui_size{0.0f};

    _XImage* window_drawable = nullptr;  // drawable_mutex
    afx_pixbuf* panel_buffer = nullptr;  // 144 x 510, owned

    CFrontPanelObject* front_panel = nullptr;
    CPushButtonLatchingObject* bypass_switch = nullptr;
    CPushButtonLatchingObject* status_button = nullptr;
    CPushButtonLatchingObject* left_button = nullptr;
    CPushButtonLatchingObject* right_button = nullptr;
    CRotaryControlObject* lf_gain_knob = nullptr;
    CRotaryControlObject* mid_freq_knob = nullptr;
    CRotaryControlObject* hf_gain_knob = nullptr;
    CRotaryControlObject* mid_gain_knob = nullptr;
    CRotaryControlObject* lf_freq_knob = nullptr;
    CRotaryControlObject* hf_freq_knob = nullptr;
    CRotaryControlObject* mid_bw_knob = nullptr;
    CBannerObject* text_banner = nullptr;

    afx_pixbuf* bypass_strip = nullptr;
    afx_pixbuf* lf_gain_strip = nullptr;
    afx_pixbuf* mid_freq_strip = nullptr;
    afx_pixbuf* hf_gain_strip = nullptr;
    afx_pixbuf* mid_gain_strip = nullptr;
    afx_pixbuf* lf_freq_strip = nullptr;
    afx_pixbuf* hf_freq_strip = nullptr;
    afx_pixbuf* mid_bw_strip = nullptr;
    afx_pixbuf* panel_image = nullptr;
    afx_pixbuf* window_icon = nullptr;
    afx_pixbuf* status_strip = nullptr;
    afx_pixbuf* left_strip = nullptr;
    afx_pixbuf* right_strip = nullptr;

    char window_title[256];                  // title_mutex
    char text_display[kTextDisplaySize];     // widget_mutex
    pthread_mutex_t drawable_mutex;
    pthread_mutex_t widget_mutex;
    std::mutex title_mutex;  // a leaf: window_title only

    // Whether input handlers may act (open and shown), and whether the owner
    // is going away (retire): from then on no CEditorHost call starts.
    // Sequentially consistent.
    std::atomic<bool> input_enabled{false};
    std::atomic<bool> retired{false};
    // This editor counts among the open editors that keep the GUI thread
    // (editor_gui_thread.h): from its open until its close or destruction,
    // on the host's threads only.
    std::atomic<bool> holds_gui_thread{false};
};
