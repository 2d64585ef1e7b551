// The component face: buses, activation, the state stream and process().
#include <cstring>

#include "model/eq_driver.h"
#include "vst3/Ze710Vst3.h"
#include "vst3/vst3_text.h"

using namespace vst3;

// The host's parameter queues of one process() call as eq_process_events
// reads them: the points of every queue of a known parameter, merged in
// frame order (on equal frames, in queue order). Audio thread: no
// allocation, no lock; the host's getPoint is all it calls.
class Ze710Vst3Cursor final : public EqEventCursor {
public:
    Ze710Vst3Cursor(Ze710Vst3& fx, IParameterChanges* changes) : fx(fx)
    {
        const int32 n = changes ? changes->getParameterCount() : 0;
        for (int32 i = 0; i < n && count < kMaxQueues; ++i) {
            IParamValueQueue* q = changes->getParameterData(i);
            if (!q)
                continue;
            const ParamID id = q->getParameterId();
            if (id >= static_cast<ParamID>(kEqNumSoundParams) && id != Ze710Vst3::kBypassId &&
                id != Ze710Vst3::kProgramId)
                continue;
            Queue& slot = queues[count];
            slot = {q, id, q->getPointCount(), 0, kNoEvent, 0.0};
            if (load(slot))
                ++count;
        }
    }

    long next_frame() override
    {
        const Queue* q = earliest();
        return q ? q->frame : kNoEvent;
    }

    void apply_next(CLFx&) override
    {
        if (Queue* q = earliest()) {
            fx.apply_to_engine(q->id, q->value);
            ++q->next;
            load(*q);
        }
    }

private:
    // A host sends one queue per parameter: ten at most are ours.
    static constexpr int kMaxQueues = 32;
    struct Queue {
        IParamValueQueue* q;
        ParamID id;
        int32 points, next;
        long frame;  // of point `next`, kNoEvent past the last
        double value;
    };

    // Reads point `next` of the queue; false when there is none.
    static bool load(Queue& slot)
    {
        int32 offset = 0;
        double value = 0.0;
        if (slot.next >= slot.points || slot.q->getPoint(slot.next, offset, value) != kResultOk) {
            slot.frame = kNoEvent;
            return false;
        }
        slot.frame = offset < 0 ? 0 : offset;
        slot.value = value;
        return true;
    }

    Queue* earliest()
    {
        Queue* best = nullptr;
        for (int i = 0; i < count; ++i)
            if (queues[i].frame != kNoEvent && (!best || queues[i].frame < best->frame))
                best = &queues[i];
        return best;
    }

    Ze710Vst3& fx;
    Queue queues[kMaxQueues];
    int count = 0;
};

using Component = Ze710Vst3::Component;

tresult Component::initialize(FUnknown*)
{
    return kResultOk;
}

tresult Component::terminate()
{
    return kResultOk;
}

tresult Component::getControllerClassId(TUID classId)
{
    // No separate controller: the host finds it by asking this object for
    // IEditController.
    if (classId)
        std::memset(classId, 0, sizeof(TUID));
    return kResultFalse;
}

tresult Component::setIoMode(IoMode)
{
    return kResultOk;
}

int32 Component::getBusCount(MediaType type, BusDirection dir)
{
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult Component::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus)
{
    if (type != kAudio || (dir != kInput && dir != kOutput) || index != 0)
        return kInvalidArgument;
    bus.mediaType = kAudio;
    bus.direction = dir;
    bus.channelCount = 2;
    utf16_from_bytes(bus.name, 128, dir == kInput ? "Stereo In" : "Stereo Out");
    bus.busType = kMain;
    bus.flags = BusInfo::kDefaultActive;
    return kResultOk;
}

tresult Component::getRoutingInfo(RoutingInfo&, RoutingInfo&)
{
    return kNotImplemented;
}

tresult Component::activateBus(MediaType type, BusDirection dir, int32 index, TBool)
{
    return type == kAudio && (dir == kInput || dir == kOutput) && index == 0 ? kResultOk : kInvalidArgument;
}

tresult Component::setActive(TBool state)
{
    if (!state) {
        fx.active.store(false);
        return kResultOk;
    }
    // As the VST 2 plug-in starts: the values the host set, then the rate,
    // the engine settled on them with its filters clear.
    float engine_values[kEqNumSoundParams];
    for (int p = 0; p < kEqNumSoundParams; ++p)
        engine_values[p] = eq_engine_value(p, fx.bank.value(p));
    const float effect = fx.bank.value(kEqEffect);
    const float bypass = fx.bypass.load();
    fx.engine_effect.store(effect);
    fx.engine_bypass.store(bypass);
    engine_values[kEqEffect] = effect * (bypass > 0.5f ? 0.0f : 1.0f);
    eq_start(fx.dsp, fx.rate_hz, engine_values);
    fx.active.store(true);
    return kResultOk;
}

tresult Component::setState(IBStream* state)
{
    EqBank bank;
    if (!Ze710Vst3::read_bank(state, &bank))
        return kResultFalse;
    fx.apply_bank(bank, true);
    fx.settled.store(true);
    return kResultOk;
}

tresult Component::getState(IBStream* state)
{
    if (!state)
        return kInvalidArgument;
    uint8_t chunk[eq_chunk::kBankBytes];
    const size_t size = fx.bank.write_chunk(false, chunk);
    size_t done = 0;
    while (done < size) {
        int32 put = 0;
        if (state->write(chunk + done, static_cast<int32>(size - done), &put) != kResultOk || put <= 0)
            return kResultFalse;
        done += static_cast<size_t>(put);
    }
    return kResultOk;
}

tresult Component::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                      int32 numOuts)
{
    // Stereo in, stereo out, and nothing else.
    return numIns == 1 && numOuts == 1 && inputs && outputs && inputs[0] == kStereo && outputs[0] == kStereo
               ? kResultTrue
               : kResultFalse;
}

tresult Component::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr)
{
    if ((dir != kInput && dir != kOutput) || index != 0)
        return kInvalidArgument;
    arr = kStereo;
    return kResultOk;
}

tresult Component::canProcessSampleSize(int32 symbolicSampleSize)
{
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult Component::setupProcessing(ProcessSetup& setup)
{
    // 32-bit float only, at a rate the engine accepts (8 to 768 kHz).
    const float rate = static_cast<float>(setup.sampleRate);
    if (setup.symbolicSampleSize != kSample32 || !eq_sample_rate_ok(rate))
        return kResultFalse;
    fx.rate_hz = rate;
    return kResultOk;
}

tresult Component::setProcessing(TBool)
{
    return kResultOk;
}

tresult Component::process(ProcessData& data)
{
    if (data.symbolicSampleSize != kSample32)
        return kInvalidArgument;
    fx.settled.store(true, std::memory_order_relaxed);
    Ze710Vst3Cursor changes(fx, data.inputParameterChanges);
    const AudioBusBuffers* in = data.numInputs > 0 ? data.inputs : nullptr;
    const AudioBusBuffers* out = data.numOutputs > 0 ? data.outputs : nullptr;
    const bool audio = data.numSamples > 0 && in && out && in->numChannels >= 2 && out->numChannels >= 2 &&
                       in->channelBuffers32 && out->channelBuffers32 && in->channelBuffers32[0] &&
                       in->channelBuffers32[1] && out->channelBuffers32[0] && out->channelBuffers32[1];
    // Without audio (a host flushing parameters) the changes still apply.
    const long frames = audio ? data.numSamples : 0;
    float* none = nullptr;
    eq_process_events(fx.dsp, audio ? in->channelBuffers32[0] : none, audio ? in->channelBuffers32[1] : none,
                      audio ? out->channelBuffers32[0] : none, audio ? out->channelBuffers32[1] : none, frames,
                      changes);
    if (audio)
        data.outputs[0].silenceFlags = 0;
    return kResultOk;
}
