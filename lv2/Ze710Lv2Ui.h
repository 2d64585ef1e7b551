// The LV2 face of the editor (ui:X11UI): one UI instance is one open
// editor, embedded into the host's window (ui:parent). It keeps a copy of
// the plug-in's bank (EqProgramBank: nine programs with names, the current
// one, the editor size; its live values are the current program's), as the
// VST 2 effect keeps its programs for its editor.
//
// To the host, control values travel in real units (dB, Hz, octaves, the
// port values, model/eq_params.h): written through the host's write
// function, read back from port_event. The bank travels as patch messages
// (ze710_lv2_messages.h): at its open the UI asks the plug-in for it, the
// plug-in sends it again after a state restore (a preset loaded, a session
// reverted), and the UI sends its own after it selects a program or
// resizes the editor. The editor size lives in the bank, not in a control,
// so that resizing does not count as a change of the host's preset.
//
// Echoes: hosts hand the UI's own writes back through port_event, some a
// good while later. While the user holds a control its port events are
// not shown; after it is let go, and after a program selection, a port
// event that repeats one of the UI's own writes of the last second, other
// than the last of them, is taken for a late echo and dropped.
//
// Threads. The host's UI thread calls instantiate, port_event, idle and
// cleanup. The editor's GUI thread calls the CEditorHost operations from
// its input handlers. The host's functions (write, ui:touch, ui:resize) are
// its UI thread's business: what the GUI thread has for them waits in the
// outbox until the host's next idle() call, for a host that offers
// ui:idleInterface or has called idle() once; with any other host the GUI
// thread calls them itself, as it calls a VST 2 host.
// Locks: `echo_mutex` and the outbox's are leaves, never held while
// calling the host or the editor; the bank has a leaf lock of its own.
#pragma once

#include <lv2/atom/forge.h>
#include <lv2/ui/ui.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "editor/CEditorGUI.h"
#include "editor/CEditorHost.h"
#include "editor/CEditorOutbox.h"
#include "lv2/ze710_lv2_messages.h"
#include "model/eq_program_bank.h"

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
    // A control port's value (format 0, one float), or a message on the
    // notify port (atom:eventTransfer); anything else, an unknown port, a
    // value that is not finite or a damaged bank is ignored.
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

    // A bank from the plug-in (host thread).
    void take_bank(const uint8_t* chunk);
    // Whether a port event of parameter `index` is to be shown: not while
    // the control is held, nor a late echo of the UI's own write.
    bool accept_port_value(int index, float physical);
    void remember_write(int index, float physical);

    // One call of a host function.
    struct HostCall {
        enum Kind { kWrite, kTouch, kResize, kGetBank, kSendBank } kind;
        uint32_t port;  // kWrite, kTouch
        float value;    // kWrite: the port value; kTouch: 1 grabbed, 0 released
        int width, height;  // kResize
    };
    // Now, or into the outbox (see the threads above). A full outbox drops
    // the call; consecutive writes to one port keep the last value only, and
    // so do consecutive resizes and bank messages.
    void send(const HostCall& call);
    void call_host(const HostCall& call);
    void write_message(bool bank_too);

    static constexpr int kOutboxSize = 256;
    // The UI's own writes a port remembers: more than a host's echo delay
    // holds of a drag (about 60 a second).
    static constexpr int kEchoMemory = 32;
    // Beyond this, a write is no longer expected back (hosts echo within
    // about 100 ms).
    static constexpr std::chrono::milliseconds kEchoWindow{1000};

    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch = nullptr;    // optional host features
    const LV2UI_Resize* resize = nullptr;
    unsigned long parent = 0;
    pthread_t host_thread;
    Ze710Urids urids;  // none mapped without urid:map: no bank exchange
    LV2_Atom_Forge forge_template;

    EqProgramBank bank;

    // Per sound parameter: held by the user, and the UI's own writes that
    // an echo may still repeat (the last one last).
    struct EchoGuard {
        bool held = false;
        int count = 0;
        float written[kEchoMemory];
        std::chrono::steady_clock::time_point last_write;
    };
    std::mutex echo_mutex;
    EchoGuard echo[kEqNumSoundParams];  // echo_mutex

    std::atomic<bool> host_idles{false};
    CEditorOutbox<HostCall, kOutboxSize> outbox;

    CEditorGUI* editor_gui = nullptr;
};
