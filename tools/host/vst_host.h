// A minimal VST 2.4 host: loads any plug-in module through its entry point
// exactly as a DAW does (dlopen, "VSTPluginMain" then "main") and answers
// the plug-in's host callback, recording the calls a test or a user may want
// to see (automation, begin/end edit, display updates).
//
// One VstPlugin is one plug-in instance. The instance may be driven from
// several threads the way a DAW does (audio thread, UI thread); the
// recorder is internally locked and the rest is the plug-in's business.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugin_interface/vst_interface.h"

namespace vsthost {

// One host-callback call as the plug-in made it.
struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

class HostRecorder {
public:
    void record(const HostCall& call);
    std::vector<HostCall> calls() const;
    // Calls with the given opcode, in order.
    std::vector<HostCall> calls_of(VstInt32 opcode) const;
    size_t count_of(VstInt32 opcode) const;
    void clear();

    // Past this many the calls are only counted, so a long run cannot grow
    // the record without bound.
    static constexpr size_t kMaxKept = 1u << 20;

private:
    mutable std::mutex lock;
    std::vector<HostCall> kept;
    size_t dropped = 0;
};

class VstPlugin {
public:
    // Loads the module and creates one instance. On failure returns null and
    // puts a one-line reason into *error.
    static std::unique_ptr<VstPlugin> load(const std::string& path, std::string* error);
    ~VstPlugin();

    VstPlugin(const VstPlugin&) = delete;
    VstPlugin& operator=(const VstPlugin&) = delete;

    AEffect* effect() const { return aeffect; }
    HostRecorder& recorder() { return host_calls; }
    const std::string& path() const { return module_path; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void set_parameter(VstInt32 index, float value);
    float get_parameter(VstInt32 index);
    void process(float** inputs, float** outputs, VstInt32 frames);

    // Texts the plug-in writes into host buffers; the buffers are far larger
    // than the published limits and always read back terminated.
    std::string parameter_name(VstInt32 index);
    std::string parameter_display(VstInt32 index);
    std::string parameter_label(VstInt32 index);
    std::string program_name(VstInt32 index);  // effGetProgramNameIndexed
    std::string current_program_name();
    std::string effect_name();
    std::string vendor_string();
    std::string product_string();

    int num_params() const { return aeffect->numParams; }
    int num_programs() const { return aeffect->numPrograms; }
    int num_inputs() const { return aeffect->numInputs; }
    int num_outputs() const { return aeffect->numOutputs; }

    // effClose now, as a host closes an instance: the record is gone
    // afterwards and only close() may follow (the destructor sends nothing
    // more). Any thread, once; also from inside a host callback.
    void close();

    // Called after each edit call the plug-in makes (automation, begin and
    // end of an edit, window size) is recorded, on the plug-in's thread,
    // before the call returns: a test host that is slow, or that closes the
    // editor or the instance from inside its callback. Set it before the
    // plug-in can call.
    std::function<void(const HostCall&)> on_edit_call;

    // The usual start-up sequence of a DAW before audio flows (effOpen has
    // been sent by load): sample rate, block size, resume, start process.
    // stop() undoes the last two; the destructor stops and closes.
    void start(float sample_rate, VstInt32 block_size);
    void stop();

    // Answers of the host callback, read by the plug-in.
    float host_sample_rate() const { return sample_rate.load(); }
    VstInt32 host_block_size() const { return block_size.load(); }

    // The host callback: finds the instance through the record's user field
    // (or, during the entry point, the instance being loaded).
    static VstIntPtr host_callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt);

private:
    VstPlugin() = default;
    std::string text_of(VstInt32 opcode, VstInt32 index, VstIntPtr value = 0);

    void* module = nullptr;
    AEffect* aeffect = nullptr;
    std::string module_path;
    HostRecorder host_calls;
    std::atomic<float> sample_rate{44100.0f};
    std::atomic<VstInt32> block_size{512};
    std::atomic<bool> running{false};
    std::atomic<bool> closed{false};
    std::atomic<int> callbacks_running{0};  // host callbacks for this instance in progress
};

}  // namespace vsthost
