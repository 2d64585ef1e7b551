#include "tools/vst3_host/vst3_host.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace vst3host {

namespace {

template <typename T>
tresult answer(T* self, const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    if (T::iid == iid || FUnknown::iid == iid) {
        *obj = self;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

// The module inside a bundle: Contents/x86_64-linux/<bundle name>.so.
std::string module_path(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return path;
    std::string bundle = path;
    while (!bundle.empty() && bundle.back() == '/')
        bundle.pop_back();
    std::string name = bundle.substr(bundle.find_last_of('/') + 1);
    name = name.substr(0, name.rfind(".vst3"));
    return bundle + "/Contents/x86_64-linux/" + name + ".so";
}

}  // namespace

std::string text_of(const char16* s, size_t n)
{
    std::string out;
    for (size_t i = 0; s && i < n && s[i]; ++i)
        out += s[i] < 0x80 ? static_cast<char>(s[i]) : '?';
    return out;
}

// ---- MemoryStream --------------------------------------------------------------------------

tresult MemoryStream::queryInterface(const TUID iid, void** obj)
{
    return answer<IBStream>(this, iid, obj);
}

tresult MemoryStream::read(void* buffer, int32 n, int32* done)
{
    if (n < 0 || !buffer)
        return kInvalidArgument;
    size_t count = std::min(static_cast<size_t>(n), data.size() - pos);
    if (piece > 0)
        count = std::min(count, static_cast<size_t>(piece));
    if (count > 0)
        std::memcpy(buffer, data.data() + pos, count);
    pos += count;
    if (done)
        *done = static_cast<int32>(count);
    return kResultOk;
}

tresult MemoryStream::write(void* buffer, int32 n, int32* done)
{
    if (n < 0 || !buffer)
        return kInvalidArgument;
    size_t count = static_cast<size_t>(n);
    if (piece > 0)
        count = std::min(count, static_cast<size_t>(piece));
    if (pos + count > data.size())
        data.resize(pos + count);
    if (count > 0)
        std::memcpy(data.data() + pos, buffer, count);
    pos += count;
    if (done)
        *done = static_cast<int32>(count);
    return kResultOk;
}

tresult MemoryStream::seek(int64 to, int32 mode, int64* result)
{
    const int64 base = mode == kSeekSet ? 0 : mode == kSeekCur ? static_cast<int64>(pos) : static_cast<int64>(data.size());
    if (base + to < 0 || base + to > static_cast<int64>(data.size()))
        return kInvalidArgument;
    pos = static_cast<size_t>(base + to);
    if (result)
        *result = static_cast<int64>(pos);
    return kResultOk;
}

tresult MemoryStream::tell(int64* at)
{
    if (!at)
        return kInvalidArgument;
    *at = static_cast<int64>(pos);
    return kResultOk;
}

// ---- ParameterChanges ----------------------------------------------------------------------

tresult ParameterChanges::queryInterface(const TUID iid, void** obj)
{
    return answer<IParameterChanges>(this, iid, obj);
}

IParamValueQueue* ParameterChanges::getParameterData(int32 index)
{
    return index >= 0 && index < count ? &queues[index] : nullptr;
}

IParamValueQueue* ParameterChanges::addParameterData(const ParamID& id, int32& index)
{
    for (index = 0; index < count; ++index)
        if (queues[index].id == id)
            return &queues[index];
    if (count == kMaxQueues)
        return nullptr;
    queues[count].id = id;
    queues[count].points = 0;
    return &queues[count++];
}

void ParameterChanges::add(ParamID id, int32 offset, ParamValue value)
{
    int32 index, at;
    if (IParamValueQueue* q = addParameterData(id, index))
        q->addPoint(offset, value, at);
}

tresult ParameterChanges::Queue::queryInterface(const TUID iid, void** obj)
{
    return answer<IParamValueQueue>(this, iid, obj);
}

tresult ParameterChanges::Queue::getPoint(int32 index, int32& offset, ParamValue& value)
{
    if (index < 0 || index >= points)
        return kInvalidArgument;
    offset = offsets[index];
    value = values[index];
    return kResultOk;
}

tresult ParameterChanges::Queue::addPoint(int32 offset, ParamValue value, int32& index)
{
    if (points == kMaxPoints)
        return kResultFalse;
    offsets[points] = offset;
    values[points] = value;
    index = points++;
    return kResultOk;
}

// ---- ComponentHandler ----------------------------------------------------------------------

tresult ComponentHandler::queryInterface(const TUID iid, void** obj)
{
    const tresult result = answer<IComponentHandler>(this, iid, obj);
    if (result == kResultOk)
        addRef();
    return result;
}

tresult ComponentHandler::record(char kind, ParamID id, ParamValue value)
{
    const HandlerCall call{kind, id, value, pthread_self()};
    {
        std::lock_guard<std::mutex> guard(lock);
        kept.push_back(call);
    }
    if (on_call)
        on_call(call, on_call_data);
    return kResultOk;
}

std::vector<HandlerCall> ComponentHandler::calls() const
{
    std::lock_guard<std::mutex> guard(lock);
    return kept;
}

void ComponentHandler::clear()
{
    std::lock_guard<std::mutex> guard(lock);
    kept.clear();
}

// ---- Frame -----------------------------------------------------------------------------------

tresult Frame::queryInterface(const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    if (IPlugFrame::iid == iid || FUnknown::iid == iid) {
        *obj = static_cast<IPlugFrame*>(this);
        return kResultOk;
    }
    if (offer_run_loop && linux_ui::IRunLoop::iid == iid) {
        *obj = static_cast<linux_ui::IRunLoop*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

tresult Frame::resizeView(IPlugView* view, ViewRect* size)
{
    if (!view || !size)
        return kInvalidArgument;
    {
        std::lock_guard<std::mutex> guard(lock);
        resize_calls.push_back(*size);
    }
    return view->onSize(size);
}

tresult Frame::registerTimer(linux_ui::ITimerHandler* handler, linux_ui::TimerInterval)
{
    std::lock_guard<std::mutex> guard(lock);
    timer_handlers.push_back(handler);
    return kResultOk;
}

tresult Frame::unregisterTimer(linux_ui::ITimerHandler* handler)
{
    std::lock_guard<std::mutex> guard(lock);
    timer_handlers.erase(std::remove(timer_handlers.begin(), timer_handlers.end(), handler), timer_handlers.end());
    return kResultOk;
}

void Frame::pump_timers()
{
    std::vector<linux_ui::ITimerHandler*> now;
    {
        std::lock_guard<std::mutex> guard(lock);
        now = timer_handlers;
    }
    for (linux_ui::ITimerHandler* handler : now)
        handler->onTimer();
}

size_t Frame::timers() const
{
    std::lock_guard<std::mutex> guard(lock);
    return timer_handlers.size();
}

std::vector<ViewRect> Frame::resizes() const
{
    std::lock_guard<std::mutex> guard(lock);
    return resize_calls;
}

// ---- Plugin ----------------------------------------------------------------------------------

Plugin::~Plugin()
{
    release_all();
}

uint32 Plugin::release_all()
{
    if (!comp)
        return 0;
    stop();
    ctrl->setComponentHandler(nullptr);
    ctrl->terminate();
    ctrl->release();
    proc->release();
    comp->terminate();
    const uint32 left = comp->release();
    comp = nullptr;
    proc = nullptr;
    ctrl = nullptr;
    return left;
}

bool Plugin::start(double rate, int32 max_block)
{
    ProcessSetup setup{kRealtime, kSample32, max_block, rate};
    if (proc->setupProcessing(setup) != kResultOk || comp->setActive(1) != kResultOk)
        return false;
    proc->setProcessing(1);
    scratch_l.assign(static_cast<size_t>(max_block), 0.0f);
    scratch_r.assign(static_cast<size_t>(max_block), 0.0f);
    running = true;
    return true;
}

void Plugin::stop()
{
    if (!running)
        return;
    proc->setProcessing(0);
    comp->setActive(0);
    running = false;
}

void Plugin::set(ParamID id, ParamValue value)
{
    ctrl->setParamNormalized(id, value);
    pending.add(id, 0, value);
}

tresult Plugin::process(const float* in_l, const float* in_r, float* out_l, float* out_r, int32 frames,
                        ParameterChanges* changes)
{
    float* ins[2] = {const_cast<float*>(in_l), const_cast<float*>(in_r)};
    float* outs[2] = {out_l, out_r};
    AudioBusBuffers in{}, out{};
    in.numChannels = out.numChannels = 2;
    in.channelBuffers32 = ins;
    out.channelBuffers32 = outs;
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &out;
    data.inputParameterChanges = changes ? changes : &pending;
    const tresult result = proc->process(data);
    if (!changes)
        pending.clear();
    return result;
}

std::vector<float> Plugin::render(const std::vector<float>& in_l, const std::vector<float>& in_r,
                                  const std::vector<int>& calls, std::vector<float>* out_r)
{
    std::vector<float> left(in_l.size()), right(in_l.size());
    size_t k = 0;
    for (size_t pos = 0; pos < in_l.size(); ++k) {
        const size_t n = std::min(static_cast<size_t>(calls[k % calls.size()]), in_l.size() - pos);
        process(&in_l[pos], &in_r[pos], &left[pos], &right[pos], static_cast<int32>(n));
        pos += n;
    }
    if (out_r)
        *out_r = right;
    return left;
}

std::vector<uint8_t> Plugin::state()
{
    MemoryStream stream;
    return comp->getState(&stream) == kResultOk ? stream.bytes() : std::vector<uint8_t>();
}

tresult Plugin::set_state(const std::vector<uint8_t>& bytes, int32 piece)
{
    MemoryStream stream(bytes, piece);
    const tresult result = comp->setState(&stream);
    if (result == kResultOk) {
        MemoryStream again(bytes, piece);
        ctrl->setComponentState(&again);
    }
    return result;
}

std::string Plugin::parameter_text(ParamID id, ParamValue value)
{
    String128 text{};
    return ctrl->getParamStringByValue(id, value, text) == kResultOk ? text_of(text) : std::string();
}

std::string Plugin::parameter_title(int32 index)
{
    ParameterInfo info{};
    return ctrl->getParameterInfo(index, info) == kResultOk ? text_of(info.title) : std::string();
}

// ---- Module ----------------------------------------------------------------------------------

std::unique_ptr<Module> Module::load(const std::string& path, std::string* error)
{
    const std::string so = module_path(path);
    std::unique_ptr<Module> m(new Module());
    m->handle = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m->handle) {
        *error = std::string("cannot load ") + so + ": " + dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<ModuleEntryProc>(dlsym(m->handle, "ModuleEntry"));
    auto get_factory = reinterpret_cast<GetFactoryProc>(dlsym(m->handle, "GetPluginFactory"));
    m->exit_proc = reinterpret_cast<ModuleExitProc>(dlsym(m->handle, "ModuleExit"));
    if (!entry || !get_factory || !m->exit_proc) {
        *error = so + " lacks GetPluginFactory, ModuleEntry or ModuleExit";
        return nullptr;
    }
    if (!entry(m->handle)) {
        m->exit_proc = nullptr;
        *error = so + ": ModuleEntry failed";
        return nullptr;
    }
    m->fac = get_factory();
    if (!m->fac) {
        *error = so + ": no factory";
        return nullptr;
    }
    return m;
}

Module::~Module()
{
    if (fac)
        fac->release();
    if (exit_proc)
        exit_proc();
    if (handle)
        dlclose(handle);
}

bool Module::audio_class(PClassInfo* info)
{
    for (int32 i = 0; i < fac->countClasses(); ++i)
        if (fac->getClassInfo(i, info) == kResultOk && std::strcmp(info->category, kVstAudioEffectClass) == 0)
            return true;
    return false;
}

std::unique_ptr<Plugin> Module::create(std::string* error)
{
    PClassInfo info{};
    if (!audio_class(&info)) {
        *error = "the factory offers no audio effect";
        return nullptr;
    }
    std::unique_ptr<Plugin> p(new Plugin());
    void* obj = nullptr;
    if (fac->createInstance(info.cid, IComponent::iid.bytes, &obj) != kResultOk || !obj) {
        *error = "createInstance failed";
        return nullptr;
    }
    p->comp = static_cast<IComponent*>(obj);
    if (p->comp->initialize(nullptr) != kResultOk ||
        p->comp->queryInterface(IAudioProcessor::iid.bytes, &obj) != kResultOk) {
        p->comp->release();
        p->comp = nullptr;
        *error = "the component is no audio processor";
        return nullptr;
    }
    p->proc = static_cast<IAudioProcessor*>(obj);
    if (p->comp->queryInterface(IEditController::iid.bytes, &obj) == kResultOk) {
        p->ctrl = static_cast<IEditController*>(obj);
    } else {
        TUID cid;
        if (p->comp->getControllerClassId(cid) != kResultOk ||
            fac->createInstance(cid, IEditController::iid.bytes, &obj) != kResultOk) {
            *error = "no edit controller";
            return nullptr;
        }
        p->ctrl = static_cast<IEditController*>(obj);
        p->separate_controller = true;
        p->ctrl->initialize(nullptr);
    }
    p->ctrl->setComponentHandler(&p->handler_);
    return p;
}

}  // namespace vst3host
