#include "vst3/Ze710Vst3View.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "editor/editor_globals.h"
#include "vst3/Ze710Vst3.h"

using namespace vst3;

namespace {

// The order in which a program's values reach the editor, as in VST 2.
constexpr int kProgramOrder[kEqNumSoundParams] = {kEqHfGain, kEqLfGain, kEqMidGain, kEqHfFreq,
                                                  kEqLfFreq, kEqMidFreq, kEqMidBw,  kEqEffect};

float display_scale()
{
    return G_GUI_engine ? G_GUI_engine->get_optimum_scale_factor() : 1.0f;
}

}  // namespace

// ---- life ------------------------------------------------------------------------------

Ze710Vst3View* Ze710Vst3View::create(Ze710Vst3& fx)
{
    Ze710Vst3View* view = new (std::nothrow) Ze710Vst3View(fx);
    if (view && !view->editor_gui) {
        view->release();
        return nullptr;
    }
    return view;
}

Ze710Vst3View::Ze710Vst3View(Ze710Vst3& fx) : fx(fx), host_thread(pthread_self())
{
    fx.add_ref();
    editor_gui = new (std::nothrow) CEditorGUI(this);
    if (!editor_gui)
        return;
    // A new editor starts from the instance's values, as the VST 2 one has
    // followed them all along.
    for (int p = 0; p < kEqNumParams; ++p)
        editor_gui->setParameter(p, fx.programs().value(p));
    editor_gui->setHostEffEnable(fx.bypassed() ? 0.0f : 1.0f);
}

Ze710Vst3View::~Ze710Vst3View()
{
    delete editor_gui;
    fx.release();
}

void Ze710Vst3View::dispose(void* view)
{
    delete static_cast<Ze710Vst3View*>(view);
}

tresult Ze710Vst3View::queryInterface(const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    if (IPlugView::iid == iid || FUnknown::iid == iid)
        *obj = static_cast<IPlugView*>(this);
    else if (linux_ui::ITimerHandler::iid == iid)
        *obj = static_cast<linux_ui::ITimerHandler*>(this);
    else {
        *obj = nullptr;
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

uint32 Ze710Vst3View::addRef()
{
    return refs.fetch_add(1) + 1;
}

bool Ze710Vst3View::try_add_ref()
{
    for (uint32 n = refs.load(); n > 0;)
        if (refs.compare_exchange_weak(n, n + 1))
            return true;
    return false;
}

uint32 Ze710Vst3View::release()
{
    const uint32 left = refs.fetch_sub(1) - 1;
    if (left > 0)
        return left;
    // The last reference (host UI thread): no notification reaches the
    // editor any more, the run loop forgets the timer, and the editor goes
    // with this view, now or once its input handler is back from the host.
    fx.detach_view(this);
    stop_timer(false);
    if (editor_gui)
        editor_gui->retire(&Ze710Vst3View::dispose, this);
    else
        dispose(this);
    return 0;
}

// ---- IPlugView ---------------------------------------------------------------------------

tresult Ze710Vst3View::isPlatformTypeSupported(FIDString type)
{
    return type && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue : kResultFalse;
}

tresult Ze710Vst3View::attached(void* parent, FIDString type)
{
    if (!parent || isPlatformTypeSupported(type) != kResultTrue)
        return kInvalidArgument;
    editor_gui->open(parent);
    if (!editor_gui->is_editor_running())
        return kResultFalse;
    // The host's run loop, when its frame offers one, delivers what the
    // GUI thread has for the host on the host's own thread.
    IPlugFrame* host_frame = frame.load();
    void* loop = nullptr;
    if (host_frame && host_frame->queryInterface(linux_ui::IRunLoop::iid.bytes, &loop) == kResultOk && loop) {
        run_loop = static_cast<linux_ui::IRunLoop*>(loop);
        if (run_loop->registerTimer(this, kTimerMs) == kResultOk) {
            host_runs_timer.store(true);
        } else {
            run_loop->release();
            run_loop = nullptr;
        }
    }
    return kResultOk;
}

tresult Ze710Vst3View::removed()
{
    stop_timer(true);
    editor_gui->close();
    return kResultOk;
}

void Ze710Vst3View::stop_timer(bool deliver)
{
    if (!run_loop)
        return;
    host_runs_timer.store(false);
    run_loop->unregisterTimer(this);
    run_loop->release();
    run_loop = nullptr;
    // What the GUI thread queued since the last tick still reaches the host,
    // unless the view is going (a host call could take a new reference).
    if (deliver)
        deliver_outbox();
}

tresult Ze710Vst3View::getSize(ViewRect* size)
{
    if (!size)
        return kInvalidArgument;
    int width, height;
    editor_gui->getRect(&width, &height);
    *size = {0, 0, width, height};
    return kResultOk;
}

float Ze710Vst3View::ui_size_of_height(int height)
{
    const float s = display_scale();
    const float current = fx.programs().value(kEqUiSize);
    if (editor_geometry(current, s).window_height == height)
        return current;
    const float u = static_cast<float>(height) / (CEditorGUI::kPanelHeight * s) - 1.0f;
    return u < 0.0f ? 0.0f : (u > 1.0f ? 1.0f : u);
}

tresult Ze710Vst3View::checkSizeConstraint(ViewRect* rect)
{
    if (!rect)
        return kInvalidArgument;
    const CEditorGeometry g = editor_geometry(ui_size_of_height(rect->bottom - rect->top), display_scale());
    rect->right = rect->left + g.window_width;
    rect->bottom = rect->top + g.window_height;
    return kResultTrue;
}

tresult Ze710Vst3View::onSize(ViewRect* size)
{
    if (!size)
        return kInvalidArgument;
    // The host has resized its window (the user, or our own resizeView):
    // the editor size follows it, and the editor window follows at its next
    // tick; the host already knows the size, so it is not asked again.
    const float u = ui_size_of_height(size->bottom - size->top);
    if (u != fx.programs().value(kEqUiSize)) {
        fx.edit_value(kEqUiSize, u);
        editor_gui->setParameter(kEqUiSize, u);
    }
    in_host_resize = true;
    editor_gui->follow_ui_size();
    in_host_resize = false;
    return kResultOk;
}

tresult Ze710Vst3View::setFrame(IPlugFrame* host_frame)
{
    frame.store(host_frame);
    return kResultOk;
}

void Ze710Vst3View::onTimer()
{
    deliver_outbox();
}

// ---- to the host ---------------------------------------------------------------------------

void Ze710Vst3View::send(const HostCall& call)
{
    const bool on_host_thread = pthread_equal(pthread_self(), host_thread) != 0;
    if (on_host_thread || !host_runs_timer.load()) {
        if (on_host_thread)
            deliver_outbox();  // the queued calls first, in order
        call_host(call);
        return;
    }
    outbox.push(call, [](const HostCall& last, const HostCall& next) {
        return next.kind == HostCall::kPerform && last.kind == HostCall::kPerform && last.id == next.id;
    });
}

void Ze710Vst3View::deliver_outbox()
{
    // A host may answer at once (setParamNormalized): the outbox lets go of
    // its lock first.
    outbox.drain([this](const HostCall& call) { call_host(call); });
}

void Ze710Vst3View::call_host(const HostCall& call)
{
    if (call.kind == HostCall::kResize) {
        ViewRect rect{0, 0, call.width, call.height};
        if (IPlugFrame* host_frame = frame.load())
            host_frame->resizeView(this, &rect);
        return;
    }
    IComponentHandler* handler = fx.handler();
    if (!handler)
        return;
    switch (call.kind) {
    case HostCall::kBegin: handler->beginEdit(call.id); break;
    case HostCall::kPerform: handler->performEdit(call.id, call.value); break;
    case HostCall::kEnd: handler->endEdit(call.id); break;
    case HostCall::kResize: break;
    }
    handler->release();
}

// ---- CEditorHost: the editor's operations ----------------------------------------------------

float Ze710Vst3View::getParameter(int index)
{
    return fx.programs().value(index);
}

void Ze710Vst3View::beginEdit(int index)
{
    if (index < 0 || index >= kEqNumSoundParams)
        return;  // the editor size is no parameter of this format
    grabbed.fetch_or(1u << index);
    send({HostCall::kBegin, static_cast<uint32>(index), 0.0, 0, 0});
}

void Ze710Vst3View::endEdit(int index)
{
    // The editor ends every parameter at every release; the host hears of
    // the ones it heard begin.
    if (index < 0 || index >= kEqNumSoundParams || !(grabbed.fetch_and(~(1u << index)) & (1u << index)))
        return;
    send({HostCall::kEnd, static_cast<uint32>(index), 0.0, 0, 0});
}

void Ze710Vst3View::setParameterAutomated(int index, float value)
{
    if (!std::isfinite(value) || !fx.edit_value(index, value))
        return;
    editor_gui->setParameter(index, value);
    if (index < kEqNumSoundParams)
        send({HostCall::kPerform, static_cast<uint32>(index), static_cast<double>(value), 0, 0});
}

int Ze710Vst3View::getNumPrograms()
{
    return kEqNumPrograms;
}

void Ze710Vst3View::setProgram(int index)
{
    const int program = fx.edit_program(index);
    const EqProgram values = fx.programs().program(program);
    for (int p : kProgramOrder)
        editor_gui->setParameter(p, values.value[p]);
    // The host hears of the program change as an edit of the program
    // parameter (its process() then selects the same program) and of each
    // value, as the VST 2 plug-in reports them: hosts that keep the program
    // parameter to themselves (Ardour) still learn every value.
    const uint32 id = Ze710Vst3::kProgramId;
    send({HostCall::kBegin, id, 0.0, 0, 0});
    send({HostCall::kPerform, id, static_cast<double>(program) / (kEqNumPrograms - 1), 0, 0});
    send({HostCall::kEnd, id, 0.0, 0, 0});
    for (int p : kProgramOrder) {
        send({HostCall::kBegin, static_cast<uint32>(p), 0.0, 0, 0});
        send({HostCall::kPerform, static_cast<uint32>(p), static_cast<double>(values.value[p]), 0, 0});
        send({HostCall::kEnd, static_cast<uint32>(p), 0.0, 0, 0});
    }
    editor_gui->setProgram(program);
}

void Ze710Vst3View::getProgramName(char* text, int size)
{
    if (!text || size <= 0)
        return;
    const EqProgram program = fx.programs().program(fx.programs().current_program());
    std::snprintf(text, static_cast<size_t>(size), "%s", program.name);
}

void Ze710Vst3View::sizeWindow(int width, int height)
{
    if (pthread_equal(pthread_self(), host_thread) && in_host_resize)
        return;  // the host's own resize (onSize)
    send({HostCall::kResize, 0, 0.0, width, height});
}
