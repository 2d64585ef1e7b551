// One VST3 instance of the equaliser: a single object that is both the
// audio component (IComponent, IAudioProcessor) and its edit controller
// (IEditController, IUnitInfo), so hosts find the controller by asking the
// component for it and no connection between two objects is needed. The two
// sides are two faces (Component, Controller) of one reference-counted
// object: IComponent and IEditController both declare setState and getState
// with one signature, and only separate classes can give them separate
// bodies.
//
// What the sides share: the program bank (model/eq_program_bank.h: nine
// programs, names, current program, editor size; the live values are the
// current program's), the host's bypass switch, and the engine CLFx driven
// through model/eq_driver.h as every format drives it.
//
// Whose record counts: the controller's. The state (getState) is the bank
// as the controller has it; process() plays the host's queue points but
// keeps no record of them. Ardour 7 runs a plug-in only while its track
// plays and meanwhile collapses its queue to the last value per parameter,
// so a record kept by process() would lose the order of edits and program
// changes, which the controller hears in order (Ardour hands the controller
// a value when it reads the value back, as its windows do at each redraw).
//
// Threads. The host's UI thread calls everything but process(), never
// concurrently with setActive or setupProcessing while audio runs; the
// host's audio thread calls process(), which allocates nothing, takes no
// lock and makes no system call: it reads the parameter queues and hands
// their points to the engine at their frames, the program change from a
// lock-free copy of the programs (program_values). The editor's GUI thread
// reaches the bank through the view (Ze710Vst3View.h).
// Locks: link_mutex (the open view, the host's component handler) is a
// leaf: nothing outside this object runs under it. The bank's own mutex is
// a leaf too.
#pragma once

#include <atomic>
#include <mutex>

#include "dsp/CLFx.h"
#include "model/eq_program_bank.h"
#include "vst3/vst3_controller.h"

class Ze710Vst3View;

class Ze710Vst3 {
public:
    // The class id, which never changes: the name-based UUID (version 5,
    // SHA-1) of the product's LV2 URI "http://kestrelwood.com/plugins/ze710"
    // in the URL namespace, 85E2DE22-1237-5EEF-B92E-9E9EF0A4D882.
    static constexpr vst3::Uid kClassId = vst3::make_uid(0x85E2DE22, 0x12375EEF, 0xB92E9E9E, 0xF0A4D882);
    // Parameter ids hosts save automation under: the eight sound parameters
    // keep their VST 2 index, the two switches of this format their own.
    static constexpr vst3::ParamID kBypassId = 100;
    static constexpr vst3::ParamID kProgramId = 101;
    static constexpr int kNumParameters = kEqNumSoundParams + 2;
    static constexpr vst3::ProgramListID kProgramListId = 1;

    // A new instance holding one reference, the caller's; null when memory
    // is short.
    static Ze710Vst3* create();
    Ze710Vst3(const Ze710Vst3&) = delete;
    Ze710Vst3& operator=(const Ze710Vst3&) = delete;

    // FUnknown of every face. Any thread.
    vst3::tresult query(const vst3::TUID iid, void** obj);
    vst3::uint32 add_ref();
    vst3::uint32 release();

    // ---- for the view: any thread but the audio thread --------------------
    EqProgramBank& programs() { return bank; }
    // The editor set a value (0..8, kEqUiSize included): into the bank and
    // the audio's copy of the programs. False for an unknown index or a
    // value that is not finite.
    bool edit_value(int param, float v);
    // The editor selected a program: the bank's current one; returns the
    // index (clamped to 0..8).
    int edit_program(int program);
    // The host's bypass parameter, as the controller last heard it.
    bool bypassed() const { return bypass.load() > 0.5f; }
    // The host's component handler with a reference for the caller, or null.
    vst3::IComponentHandler* handler();
    // The open view leaves (its last reference is going).
    void detach_view(Ze710Vst3View* view);

    class Component final : public vst3::IComponent, public vst3::IAudioProcessor {
    public:
        explicit Component(Ze710Vst3& fx) : fx(fx) {}
        vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override { return fx.query(iid, obj); }
        vst3::uint32 addRef() override { return fx.add_ref(); }
        vst3::uint32 release() override { return fx.release(); }
        // IPluginBase (shared with the controller; a second call changes nothing).
        vst3::tresult initialize(vst3::FUnknown* context) override;
        vst3::tresult terminate() override;
        // IComponent: host UI thread.
        vst3::tresult getControllerClassId(vst3::TUID classId) override;
        vst3::tresult setIoMode(vst3::IoMode mode) override;
        vst3::int32 getBusCount(vst3::MediaType type, vst3::BusDirection dir) override;
        vst3::tresult getBusInfo(vst3::MediaType type, vst3::BusDirection dir, vst3::int32 index,
                                 vst3::BusInfo& bus) override;
        vst3::tresult getRoutingInfo(vst3::RoutingInfo& inInfo, vst3::RoutingInfo& outInfo) override;
        vst3::tresult activateBus(vst3::MediaType type, vst3::BusDirection dir, vst3::int32 index,
                                  vst3::TBool state) override;
        // On: the engine starts at the rate of setupProcessing with the
        // current values settled (eq_start), its filters clear.
        vst3::tresult setActive(vst3::TBool state) override;
        // The state chunk (model/eq_chunk.h), a bank: read in pieces, applied
        // only when whole and valid; anything else changes nothing.
        vst3::tresult setState(vst3::IBStream* state) override;
        vst3::tresult getState(vst3::IBStream* state) override;
        // IAudioProcessor: host UI thread, but process (audio thread).
        vst3::tresult setBusArrangements(vst3::SpeakerArrangement* inputs, vst3::int32 numIns,
                                         vst3::SpeakerArrangement* outputs, vst3::int32 numOuts) override;
        vst3::tresult getBusArrangement(vst3::BusDirection dir, vst3::int32 index,
                                        vst3::SpeakerArrangement& arr) override;
        vst3::tresult canProcessSampleSize(vst3::int32 symbolicSampleSize) override;
        vst3::uint32 getLatencySamples() override { return 0; }
        vst3::tresult setupProcessing(vst3::ProcessSetup& setup) override;
        vst3::tresult setProcessing(vst3::TBool state) override;
        vst3::tresult process(vst3::ProcessData& data) override;
        vst3::uint32 getTailSamples() override { return vst3::kNoTail; }

    private:
        Ze710Vst3& fx;
    };

    class Controller final : public vst3::IEditController, public vst3::IUnitInfo {
    public:
        explicit Controller(Ze710Vst3& fx) : fx(fx) {}
        vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override { return fx.query(iid, obj); }
        vst3::uint32 addRef() override { return fx.add_ref(); }
        vst3::uint32 release() override { return fx.release(); }
        vst3::tresult initialize(vst3::FUnknown* context) override;
        vst3::tresult terminate() override;
        // IEditController: host UI thread. The component's state arrives
        // here too; the controller's own state is empty.
        vst3::tresult setComponentState(vst3::IBStream* state) override;
        vst3::tresult setState(vst3::IBStream* state) override;
        vst3::tresult getState(vst3::IBStream* state) override;
        vst3::int32 getParameterCount() override { return kNumParameters; }
        vst3::tresult getParameterInfo(vst3::int32 paramIndex, vst3::ParameterInfo& info) override;
        vst3::tresult getParamStringByValue(vst3::ParamID id, vst3::ParamValue valueNormalized,
                                            vst3::String128 string) override;
        vst3::tresult getParamValueByString(vst3::ParamID id, vst3::TChar* string,
                                            vst3::ParamValue& valueNormalized) override;
        vst3::ParamValue normalizedParamToPlain(vst3::ParamID id, vst3::ParamValue valueNormalized) override;
        vst3::ParamValue plainParamToNormalized(vst3::ParamID id, vst3::ParamValue plainValue) override;
        vst3::ParamValue getParamNormalized(vst3::ParamID id) override;
        // The open editor follows; the engine does not (the host sends the
        // change to process() as well).
        vst3::tresult setParamNormalized(vst3::ParamID id, vst3::ParamValue value) override;
        vst3::tresult setComponentHandler(vst3::IComponentHandler* handler) override;
        // One view at a time, "editor" only; null otherwise.
        vst3::IPlugView* createView(vst3::FIDString name) override;
        // IUnitInfo: one unit, the root, with the nine programs as its list.
        vst3::int32 getUnitCount() override { return 1; }
        vst3::tresult getUnitInfo(vst3::int32 unitIndex, vst3::UnitInfo& info) override;
        vst3::int32 getProgramListCount() override { return 1; }
        vst3::tresult getProgramListInfo(vst3::int32 listIndex, vst3::ProgramListInfo& info) override;
        vst3::tresult getProgramName(vst3::ProgramListID listId, vst3::int32 programIndex,
                                     vst3::String128 name) override;
        vst3::tresult getProgramInfo(vst3::ProgramListID, vst3::int32, vst3::CString, vst3::String128) override
        {
            return vst3::kNotImplemented;
        }
        vst3::tresult hasProgramPitchNames(vst3::ProgramListID, vst3::int32) override { return vst3::kResultFalse; }
        vst3::tresult getProgramPitchName(vst3::ProgramListID, vst3::int32, vst3::int16, vst3::String128) override
        {
            return vst3::kNotImplemented;
        }
        vst3::UnitID getSelectedUnit() override { return vst3::kRootUnitId; }
        vst3::tresult selectUnit(vst3::UnitID unitId) override;
        vst3::tresult getUnitByBus(vst3::MediaType, vst3::BusDirection, vst3::int32, vst3::int32,
                                   vst3::UnitID& unitId) override;
        vst3::tresult setUnitProgramData(vst3::int32, vst3::int32, vst3::IBStream*) override
        {
            return vst3::kNotImplemented;
        }

    private:
        Ze710Vst3& fx;
    };

private:
    friend class Component;
    friend class Controller;
    friend class Ze710Vst3Cursor;

    Ze710Vst3();
    ~Ze710Vst3();

    // The state chunk from a stream: true, with the bank in *out, only for
    // one whole, valid bank chunk.
    static bool read_bank(vst3::IBStream* stream, EqBank* out);
    // A new bank from the host: into the bank, the audio's program copy,
    // the engine when `to_engine` (the component's state), the open editor.
    void apply_bank(const EqBank& bank, bool to_engine);
    // The audio's copy of the bank's programs, refreshed from the bank.
    void publish_programs();
    // The open view with a reference for the caller, or null.
    Ze710Vst3View* acquire_view();

    // ---- the audio thread's side (process, and setActive before it) -------
    // A normalised value of parameter `id` from the host's queues, held
    // within 0..1, into the engine.
    void apply_to_engine(vst3::ParamID id, double value);
    // The Effect switch as the engine hears it: "Effect" and not bypassed.
    void apply_effect();

    Component component{*this};
    Controller controller{*this};
    std::atomic<vst3::uint32> refs{1};

    EqProgramBank bank;
    // Program p's sound values, normalised, for process(): written by the
    // host's threads after each change of the bank, read by the audio thread.
    std::atomic<float> program_values[kEqNumPrograms][kEqNumSoundParams];
    // The host's bypass parameter as the controller last heard it (0 or 1).
    std::atomic<float> bypass{0.0f};
    // A state has been set or audio processed: from now on a program the
    // host selects is the user's choice, not part of restoring a session.
    std::atomic<bool> settled{false};

    CLFx dsp;
    float rate_hz = 44100.0f;            // host UI thread, before activation
    std::atomic<bool> active{false};
    // What the engine's Effect switch is made of, as last applied.
    std::atomic<float> engine_effect{1.0f};
    std::atomic<float> engine_bypass{0.0f};

    std::mutex link_mutex;
    vst3::IComponentHandler* component_handler = nullptr;  // link_mutex; one reference held
    Ze710Vst3View* view = nullptr;                         // link_mutex; the open view, not held
};
