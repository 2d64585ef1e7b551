// The VST3 face of the editor: an IPlugView for X11 parents
// ("X11EmbedWindowID") around the one editor CEditorGUI, and the editor's
// CEditorHost, which maps its operations onto the instance's program bank
// and the host's component handler (beginEdit, performEdit, endEdit) and
// frame (resizeView).
//
// Threads. The host's UI thread creates the view, calls the IPlugView
// methods, sends the instance's notifications to the editor and, from its
// run loop, onTimer. The editor's GUI thread calls the CEditorHost
// operations from its input handlers. The host's handler and frame belong
// to its UI thread: when the frame offers the Linux run loop, what the GUI
// thread has for them waits in the outbox until the next onTimer (every
// kTimerMs); without a run loop the GUI thread calls them itself, as it
// calls a VST 2 host.
// Life. The view holds a reference on the instance, so whatever the
// CEditorHost operations touch lives as long as the view. When the host
// drops the last reference, the view leaves the instance and retires the
// editor (CEditorGUI::retire): it is freed at once, or by the GUI thread
// once an input handler that is inside a host call has returned.
// Locks: the outbox's is a leaf, never held while calling the host.
#pragma once

#include <pthread.h>

#include <atomic>
#include <mutex>

#include "editor/CEditorGUI.h"
#include "editor/CEditorHost.h"
#include "editor/CEditorOutbox.h"
#include "vst3/vst3_view.h"

class Ze710Vst3;

class Ze710Vst3View final : public vst3::IPlugView, public vst3::linux_ui::ITimerHandler, private CEditorHost {
public:
    static constexpr vst3::linux_ui::TimerInterval kTimerMs = 20;

    // Host UI thread: a view on the instance, one reference (the caller's);
    // null when memory is short.
    static Ze710Vst3View* create(Ze710Vst3& fx);
    Ze710Vst3View(const Ze710Vst3View&) = delete;
    Ze710Vst3View& operator=(const Ze710Vst3View&) = delete;

    // FUnknown, any thread. The last release frees the view (see Life).
    vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
    vst3::uint32 addRef() override;
    vst3::uint32 release() override;
    // A reference unless the last one is already gone (the instance's link).
    bool try_add_ref();

    // IPlugView, host UI thread.
    vst3::tresult isPlatformTypeSupported(vst3::FIDString type) override;
    // Opens the editor in the X window `parent` (blocks about 250 ms).
    vst3::tresult attached(void* parent, vst3::FIDString type) override;
    vst3::tresult removed() override;
    vst3::tresult onWheel(float) override { return vst3::kResultFalse; }
    vst3::tresult onKeyDown(vst3::char16, vst3::int16, vst3::int16) override { return vst3::kResultFalse; }
    vst3::tresult onKeyUp(vst3::char16, vst3::int16, vst3::int16) override { return vst3::kResultFalse; }
    // The size rule of the editor (editor_geometry): the width follows the
    // height, which runs from the smallest to twice the smallest.
    vst3::tresult getSize(vst3::ViewRect* size) override;
    vst3::tresult onSize(vst3::ViewRect* newSize) override;
    vst3::tresult onFocus(vst3::TBool) override { return vst3::kResultOk; }
    vst3::tresult setFrame(vst3::IPlugFrame* frame) override;
    vst3::tresult canResize() override { return vst3::kResultTrue; }
    vst3::tresult checkSizeConstraint(vst3::ViewRect* rect) override;

    // ITimerHandler, host UI thread: hands the outbox to the host.
    void onTimer() override;

    // The instance's notifications (host UI thread): record only.
    CEditorGUI& editor() { return *editor_gui; }

private:
    explicit Ze710Vst3View(Ze710Vst3& fx);
    ~Ze710Vst3View();
    static void dispose(void* view);

    // ---- CEditorHost: the editor's GUI thread (and the host's, on open) ----
    float getParameter(int index) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;
    void setParameterAutomated(int index, float value) override;
    int getNumPrograms() override;
    void setProgram(int index) override;
    void getProgramName(char* text, int size) override;
    void sizeWindow(int width, int height) override;

    // One call of the host's handler or frame.
    struct HostCall {
        enum Kind { kBegin, kPerform, kEnd, kResize } kind;
        vst3::uint32 id;    // parameter id
        double value;       // kPerform
        int width, height;  // kResize
    };
    // Now, or into the outbox (see Threads). A full outbox drops the call;
    // consecutive performs of one parameter keep the last value only.
    void send(const HostCall& call);
    void call_host(const HostCall& call);
    void deliver_outbox();
    void stop_timer(bool deliver);
    // The editor size whose window has this height, or -1 for none.
    float ui_size_of_height(int height);

    static constexpr int kOutboxSize = 256;

    Ze710Vst3& fx;
    std::atomic<vst3::uint32> refs{1};
    CEditorGUI* editor_gui = nullptr;
    const pthread_t host_thread;
    std::atomic<vst3::IPlugFrame*> frame{nullptr};
    vst3::linux_ui::IRunLoop* run_loop = nullptr;  // host UI thread; held while the timer runs
    std::atomic<bool> host_runs_timer{false};
    bool in_host_resize = false;       // host UI thread, inside onSize
    std::atomic<unsigned> grabbed{0};  // parameters begun and not yet ended, by bit

    CEditorOutbox<HostCall, kOutboxSize> outbox;
};
