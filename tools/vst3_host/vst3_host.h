// A small VST3 host on the declarations of vst3/: loads a module through
// its entry points as a DAW does (dlopen, ModuleEntry, GetPluginFactory),
// creates instances from the factory, and offers what a host gives a
// plug-in: a memory stream for state, parameter-change queues for
// process(), a component handler that records the plug-in's calls, and a
// frame with (optionally) a Linux run loop whose timers the caller pumps.
// The tests, the benchmark and the render command share it.
//
// Threads: one instance is driven the way a DAW drives it, process() on one
// thread and the rest on another; the recorder is locked, everything else
// belongs to the caller.
#pragma once

#include <pthread.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vst3/vst3_controller.h"
#include "vst3/vst3_view.h"

namespace vst3host {

using namespace vst3;

// A stream over bytes in memory; reads and writes at most `piece` bytes a
// call when piece > 0, as a host's file streams may.
class MemoryStream final : public IBStream {
public:
    explicit MemoryStream(std::vector<uint8_t> bytes = {}, int32 piece = 0) : data(std::move(bytes)), piece(piece) {}
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    tresult read(void* buffer, int32 numBytes, int32* numBytesRead) override;
    tresult write(void* buffer, int32 numBytes, int32* numBytesWritten) override;
    tresult seek(int64 pos, int32 mode, int64* result) override;
    tresult tell(int64* pos) override;
    const std::vector<uint8_t>& bytes() const { return data; }
    size_t position() const { return pos; }

private:
    std::vector<uint8_t> data;
    size_t pos = 0;
    int32 piece;
};

// The input parameter changes of one process() call: queues with room for
// kMaxPoints points, filled before the call, without allocation during it.
class ParameterChanges final : public IParameterChanges {
public:
    static constexpr int kMaxQueues = 16, kMaxPoints = 64;
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    int32 getParameterCount() override { return count; }
    IParamValueQueue* getParameterData(int32 index) override;
    IParamValueQueue* addParameterData(const ParamID& id, int32& index) override;
    // A point for parameter `id` (its queue made on first use).
    void add(ParamID id, int32 offset, ParamValue value);
    void clear() { count = 0; }

private:
    class Queue final : public IParamValueQueue {
    public:
        tresult queryInterface(const TUID iid, void** obj) override;
        uint32 addRef() override { return 1; }
        uint32 release() override { return 1; }
        ParamID getParameterId() override { return id; }
        int32 getPointCount() override { return points; }
        tresult getPoint(int32 index, int32& sampleOffset, ParamValue& value) override;
        tresult addPoint(int32 sampleOffset, ParamValue value, int32& index) override;
        ParamID id = 0;
        int32 points = 0;
        int32 offsets[kMaxPoints];
        ParamValue values[kMaxPoints];
    };
    Queue queues[kMaxQueues];
    int32 count = 0;
};

// The host's component handler: every call the plug-in makes, in order.
struct HandlerCall {
    char kind;  // 'b' beginEdit, 'p' performEdit, 'e' endEdit, 'r' restartComponent
    ParamID id;  // restartComponent: the flags
    ParamValue value;
    pthread_t thread;
};
// Its reference count counts the plug-in's references only (the host's own
// is the object's life), so it reads 0 when the plug-in holds none.
class ComponentHandler final : public IComponentHandler {
public:
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return refs.fetch_add(1) + 1; }
    uint32 release() override { return refs.fetch_sub(1) - 1; }
    uint32 references() const { return refs.load(); }
    tresult beginEdit(ParamID id) override { return record('b', id, 0.0); }
    tresult performEdit(ParamID id, ParamValue value) override { return record('p', id, value); }
    tresult endEdit(ParamID id) override { return record('e', id, 0.0); }
    tresult restartComponent(int32 flags) override { return record('r', static_cast<ParamID>(flags), 0.0); }
    std::vector<HandlerCall> calls() const;
    void clear();
    // Called (outside the lock) after each call is recorded, on the
    // plug-in's thread; a test may block in it.
    void (*on_call)(const HandlerCall& call, void* data) = nullptr;
    void* on_call_data = nullptr;

private:
    tresult record(char kind, ParamID id, ParamValue value);
    std::atomic<uint32> refs{0};
    mutable std::mutex lock;
    std::vector<HandlerCall> kept;
};

// The host's frame around a view, with the Linux run loop when asked for:
// registered timers fire when the caller pumps them (pump_timers, on the
// thread it calls from). resizeView is recorded and answered, as hosts
// answer it, with the view's onSize.
class Frame final : public IPlugFrame, public linux_ui::IRunLoop {
public:
    explicit Frame(bool offer_run_loop) : offer_run_loop(offer_run_loop) {}
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    tresult resizeView(IPlugView* view, ViewRect* newSize) override;
    tresult registerEventHandler(linux_ui::IEventHandler*, linux_ui::FileDescriptor) override { return kResultOk; }
    tresult unregisterEventHandler(linux_ui::IEventHandler*) override { return kResultOk; }
    tresult registerTimer(linux_ui::ITimerHandler* handler, linux_ui::TimerInterval ms) override;
    tresult unregisterTimer(linux_ui::ITimerHandler* handler) override;
    void pump_timers();
    size_t timers() const;
    std::vector<ViewRect> resizes() const;

private:
    const bool offer_run_loop;
    mutable std::mutex lock;
    std::vector<linux_ui::ITimerHandler*> timer_handlers;
    std::vector<ViewRect> resize_calls;
};

class Module;

// One instance, from its factory: the component with its processor and
// controller (the same object or, through the component's controller class
// id, another), initialised and given the handler.
class Plugin {
public:
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    IComponent* component() const { return comp; }
    IAudioProcessor* processor() const { return proc; }
    IEditController* controller() const { return ctrl; }
    ComponentHandler& handler() { return handler_; }

    // setupProcessing (32-bit, realtime), setActive(1), setProcessing(1).
    bool start(double rate, int32 max_block);
    void stop();
    // Sets a parameter as a DAW's generic control does: the controller
    // hears it at once, process() at frame 0 of the next call.
    void set(ParamID id, ParamValue value);
    // One process() call, replacing, stereo; the changes given (or those
    // queued by set()) go with it.
    tresult process(const float* in_l, const float* in_r, float* out_l, float* out_r, int32 frames,
                    ParameterChanges* changes = nullptr);
    // Every frame of the inputs through process() in calls of the given sizes
    // in turn; the left output, the right into *out_r.
    std::vector<float> render(const std::vector<float>& in_l, const std::vector<float>& in_r,
                              const std::vector<int>& calls = {512}, std::vector<float>* out_r = nullptr);

    std::vector<uint8_t> state();
    tresult set_state(const std::vector<uint8_t>& bytes, int32 piece = 0);
    std::string parameter_text(ParamID id, ParamValue value);
    std::string parameter_title(int32 index);

    // The final release of everything this host holds; the count the
    // component's release answered (0 when the instance went away).
    uint32 release_all();

private:
    friend class Module;
    Plugin() = default;
    IComponent* comp = nullptr;
    IAudioProcessor* proc = nullptr;
    IEditController* ctrl = nullptr;
    bool separate_controller = false;
    bool running = false;
    ComponentHandler handler_;
    ParameterChanges pending;
    std::vector<float> scratch_l, scratch_r;
};

// A loaded module: its factory, and the module's exit and unload on
// destruction (after every instance is gone).
class Module {
public:
    // path: the bundle folder (Contents/x86_64-linux/<name>.so inside) or
    // the .so itself. Null, with a one-line reason, on failure.
    static std::unique_ptr<Module> load(const std::string& path, std::string* error);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    IPluginFactory* factory() const { return fac; }
    // The first class of category "Audio Module Class".
    bool audio_class(PClassInfo* info);
    std::unique_ptr<Plugin> create(std::string* error);

private:
    Module() = default;
    void* handle = nullptr;
    IPluginFactory* fac = nullptr;
    ModuleExitProc exit_proc = nullptr;
};

// A string of the plug-in (UTF-16) as bytes.
std::string text_of(const char16* s, size_t n = 128);

}  // namespace vst3host
