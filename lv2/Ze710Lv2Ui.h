// The LV2 face of the editor (ui:X11UI): one UI instance is one open
// editor, embedded into the host's window (ui:parent). It keeps what the
// VST 2 effect keeps for its editor: the nine normalised values, the nine
// programs (four user slots and the five factory presets of
// model/eq_programs.h) and the current one, into which every edit goes.
//
// To the host, values travel in real units (dB, Hz, octaves, toggle: the
// port values, model/eq_params.h): written through the host's write
// function, read back from port_event.
//
// Threads. The host's UI thread calls instantiate, port_event, idle and
// cleanup. The editor's GUI thread calls the CEditorHost operations from
// its input handlers. The host's functions (write, ui:touch, ui:resize) are
// its UI thread's business: what the GUI thread has for them waits in the
// outbox until the host's next idle() call, for a host that offers
// ui:idleInterface or has called idle() once; with any other host the GUI
// thread calls them itself, as it calls a VST 2 host.
// Locks: `mutex` (values, programs) is taken before the editor's own locks
// (the editor's notifications are made under it) and never held while
// calling the host; `outbox_mutex` is a leaf.
#pragma once

#include <lv2/ui/ui.h>
#include <pthread.h>

#include <atomic>
#include <mutex>

#include "editor/CEditorGUI.h"
#include "editor/CEditorHost.h"
#include "model/eq_programs.h"

extern const LV2UI_Descriptor ze710_lv2_ui_descriptor;

class Ze710Lv2Ui final : private CEditorHost {
public:
    // Opens the editor in the host's window. Null when memory is short or
    // the editor cannot open (no X display).
    static Ze710Lv2Ui* create(LV2UI_Write_Function write, LV2UI_Controller controller,
                              const LV2_Feature* const* features);
    // The host's cleanup: the editor retires and the instance is freed now,
    // or on the GUI thread once an input handler that is inside a host
    // function (write, ui:touch, ui:resize) has returned.
    void destroy();
    Ze710Lv2Ui(const Ze710Lv2Ui&) = delete;
    Ze710Lv2Ui& operator=(const Ze710Lv2Ui&) = delete;

    // The editor window's X id.
    LV2UI_Widget widget() const;
    // A control port's value (format 0, one float); anything else, an
    // unknown port or a value that is not finite is ignored.
    void port_event(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
    // Hands the outbox to the host. 0: the editor stays.
    int idle();

private:
    Ze710Lv2Ui(LV2UI_Write_Function write, LV2UI_Controller controller,
               const LV2_Feature* const* features);
    ~Ze710Lv2Ui();

    float getParameter(int index) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;
    void setParameterAutomated(int index, float value) override;
    int getNumPrograms() override { return kEqNumPrograms; }
    void setProgram(int index) override;
    void getProgramName(char* text, int size) override;
    void sizeWindow(int width, int height) override;

    // One call of a host function.
    struct HostCall {
        enum Kind { kWrite, kTouch, kResize } kind;
        uint32_t port;  // kWrite, kTouch
        float value;    // kWrite: the port value; kTouch: 1 grabbed, 0 released
        int width, height;  // kResize
    };
    // Now, or into the outbox (see the threads above). A full outbox drops
    // the call; consecutive writes to one port keep the last value only.
    void send(const HostCall& call);
    void call_host(const HostCall& call);

    static constexpr int kOutboxSize = 256;
    static constexpr int kNameSize = 64;

    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch = nullptr;    // optional host features
    const LV2UI_Resize* resize = nullptr;
    unsigned long parent = 0;
    pthread_t host_thread;

    std::mutex mutex;
    std::atomic<float> params[kEqNumParams];
    EqProgramValues programs[kEqNumPrograms];  // mutex
    char names[kEqNumPrograms][kNameSize];     // mutex
    std::atomic<int> current_program{0};
    std::atomic<unsigned> grabbed{0};  // ports touched and not yet released, by parameter bit

    std::atomic<bool> host_idles{false};
    std::mutex outbox_mutex;
    HostCall outbox[kOutboxSize];  // outbox_mutex
    int outbox_count = 0;          // outbox_mutex

    CEditorGUI* editor_gui = nullptr;
};
