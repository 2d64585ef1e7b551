#include "lv2/Ze710Lv2Ui.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "editor/editor_globals.h"
#include "lv2/ze710_lv2_ports.h"

namespace {

float clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }

// The order in which a program's values go out, as the VST 2 effect sends them.
constexpr int kProgramOrder[kEqNumSoundParams] = {kEqHfGain, kEqLfGain, kEqMidGain, kEqHfFreq,
                                                  kEqLfFreq, kEqMidFreq, kEqMidBw,  kEqEffect};

uint32_t port_of(int index) { return static_cast<uint32_t>(kLv2FirstControl + index); }

}  // namespace

// ---- life -----------------------------------------------------------------------

Ze710Lv2Ui::Ze710Lv2Ui(LV2UI_Write_Function write, LV2UI_Controller controller,
                       const LV2_Feature* const* features)
    : write(write), controller(controller), host_thread(pthread_self())
{
    for (int p = 0; p < kEqNumParams; ++p)
        params[p].store(eq_default_of(p));
    for (int program = 0; program < kEqNumPrograms; ++program)
        eq_program(program, &programs[program], names[program], kNameSize);
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        const char* uri = (*f)->URI;
        if (!std::strcmp(uri, LV2_UI__parent))
            parent = reinterpret_cast<unsigned long>((*f)->data);
        else if (!std::strcmp(uri, LV2_UI__touch))
            touch = static_cast<const LV2UI_Touch*>((*f)->data);
        else if (!std::strcmp(uri, LV2_UI__resize))
            resize = static_cast<const LV2UI_Resize*>((*f)->data);
        else if (!std::strcmp(uri, LV2_UI__idleInterface))
            host_idles.store(true);  // the host says it will call idle()
    }
    if (touch && !touch->touch)
        touch = nullptr;
    if (resize && !resize->ui_resize)
        resize = nullptr;
}

Ze710Lv2Ui* Ze710Lv2Ui::create(LV2UI_Write_Function write, LV2UI_Controller controller,
                               const LV2_Feature* const* features)
{
    Ze710Lv2Ui* ui = new (std::nothrow) Ze710Lv2Ui(write, controller, features);
    if (!ui)
        return nullptr;
    ui->editor_gui = new (std::nothrow) CEditorGUI(ui);
    if (ui->editor_gui)
        ui->editor_gui->open(reinterpret_cast<void*>(ui->parent));
    if (!ui->editor_gui || !ui->editor_gui->is_editor_running()) {
        ui->destroy();
        return nullptr;
    }
    // The host's frame takes the editor's size from the start.
    ui->sizeWindow(ui->editor_gui->get_window_width(), ui->editor_gui->get_window_height());
    return ui;
}

Ze710Lv2Ui::~Ze710Lv2Ui()
{
    delete editor_gui;
}

void Ze710Lv2Ui::destroy()
{
    if (editor_gui)
        editor_gui->retire([](void* ui) { delete static_cast<Ze710Lv2Ui*>(ui); }, this);
    else
        delete this;
}

LV2UI_Widget Ze710Lv2Ui::widget() const
{
    AFX_engine* engine = G_GUI_engine;
    const unsigned long window =
        engine ? engine->get_SYS_window_idx_for_afx_window(editor_gui->get_window_index()) : 0;
    return reinterpret_cast<LV2UI_Widget>(window);
}

// ---- from the host --------------------------------------------------------------------

void Ze710Lv2Ui::port_event(uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
    if (format != 0 || size != sizeof(float) || !buffer || port < kLv2FirstControl ||
        port >= kLv2NumPorts)
        return;
    float physical;
    std::memcpy(&physical, buffer, sizeof physical);
    if (!std::isfinite(physical))
        return;
    const int index = static_cast<int>(port - kLv2FirstControl);
    const float v = clamp01(eq_normalised_of(index, physical));
    if (index == kEqUiSize) {
        // The open editor follows its size port (a session restored, another
        // view of the same instance); its own writes come back as the size
        // it has, which changes nothing.
        params[kEqUiSize].store(v);
        editor_gui->setParameter(kEqUiSize, v);
        editor_gui->follow_ui_size();
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    params[index].store(v);
    programs[current_program.load()].v[index] = v;
    editor_gui->setParameter(index, v);
}

int Ze710Lv2Ui::idle()
{
    host_idles.store(true);
    HostCall calls[kOutboxSize];
    int count;
    {
        std::lock_guard<std::mutex> lock(outbox_mutex);
        count = outbox_count;
        std::memcpy(calls, outbox, sizeof(HostCall) * static_cast<size_t>(count));
        outbox_count = 0;
    }
    // Outside the lock: a host may answer a write with port_event at once.
    for (int i = 0; i < count; ++i)
        call_host(calls[i]);
    return 0;
}

// ---- to the host -------------------------------------------------------------------------

void Ze710Lv2Ui::send(const HostCall& call)
{
    if (!host_idles.load() || pthread_equal(pthread_self(), host_thread)) {
        call_host(call);
        return;
    }
    std::lock_guard<std::mutex> lock(outbox_mutex);
    if (outbox_count > 0) {
        HostCall& last = outbox[outbox_count - 1];
        const bool same_write = call.kind == HostCall::kWrite && last.kind == HostCall::kWrite &&
                                last.port == call.port;
        if (same_write || (call.kind == HostCall::kResize && last.kind == HostCall::kResize)) {
            last = call;
            return;
        }
    }
    if (outbox_count < kOutboxSize)
        outbox[outbox_count++] = call;
}

void Ze710Lv2Ui::call_host(const HostCall& call)
{
    switch (call.kind) {
    case HostCall::kWrite: write(controller, call.port, sizeof(float), 0, &call.value); break;
    case HostCall::kTouch: touch->touch(touch->handle, call.port, call.value != 0.0f); break;
    case HostCall::kResize: resize->ui_resize(resize->handle, call.width, call.height); break;
    }
}

// ---- CEditorHost: the editor's operations -------------------------------------------------

float Ze710Lv2Ui::getParameter(int index)
{
    return index >= 0 && index < kEqNumParams ? params[index].load() : 0.0f;
}

void Ze710Lv2Ui::beginEdit(int index)
{
    if (!touch || index < 0 || index >= kEqNumParams)
        return;
    grabbed.fetch_or(1u << index);
    send({HostCall::kTouch, port_of(index), 1.0f, 0, 0});
}

void Ze710Lv2Ui::endEdit(int index)
{
    // The editor ends every parameter at every release; the host hears of
    // the ones it heard begin.
    if (!touch || index < 0 || index >= kEqNumParams || !(grabbed.fetch_and(~(1u << index)) & (1u << index)))
        return;
    send({HostCall::kTouch, port_of(index), 0.0f, 0, 0});
}

void Ze710Lv2Ui::setParameterAutomated(int index, float value)
{
    if (index < 0 || index >= kEqNumParams)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        params[index].store(value);
        if (index < kEqNumSoundParams)
            programs[current_program.load()].v[index] = value;
        editor_gui->setParameter(index, value);
    }
    send({HostCall::kWrite, port_of(index), eq_physical_of(index, value), 0, 0});
}

void Ze710Lv2Ui::setProgram(int index)
{
    index = index < 0 ? 0 : (index >= kEqNumPrograms ? kEqNumPrograms - 1 : index);
    EqProgramValues values;
    {
        std::lock_guard<std::mutex> lock(mutex);
        current_program.store(index);
        values = programs[index];
    }
    for (int p : kProgramOrder)
        setParameterAutomated(p, values.v[p]);
    editor_gui->setProgram(index);
}

void Ze710Lv2Ui::getProgramName(char* text, int size)
{
    if (!text || size <= 0)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    std::snprintf(text, static_cast<size_t>(size), "%s", names[current_program.load()]);
}

void Ze710Lv2Ui::sizeWindow(int width, int height)
{
    if (resize)
        send({HostCall::kResize, 0, 0.0f, width, height});
}

// ---- the descriptor's C entry points -----------------------------------------------------

namespace {

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* plugin_uri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features)
{
    if (!plugin_uri || std::strcmp(plugin_uri, ZE710_LV2_URI) != 0 || !write || !widget)
        return nullptr;
    Ze710Lv2Ui* ui = Ze710Lv2Ui::create(write, controller, features);
    if (ui)
        *widget = ui->widget();
    return ui;
}

void cleanup(LV2UI_Handle ui)
{
    static_cast<Ze710Lv2Ui*>(ui)->destroy();
}

void port_event(LV2UI_Handle ui, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
    static_cast<Ze710Lv2Ui*>(ui)->port_event(port, size, format, buffer);
}

int idle(LV2UI_Handle ui)
{
    return static_cast<Ze710Lv2Ui*>(ui)->idle();
}

const LV2UI_Idle_Interface kIdleInterface = {idle};

const void* extension_data(const char* uri)
{
    return uri && !std::strcmp(uri, LV2_UI__idleInterface) ? &kIdleInterface : nullptr;
}

}  // namespace

const LV2UI_Descriptor ze710_lv2_ui_descriptor = {
    ZE710_LV2_UI_URI, instantiate, cleanup, port_event, extension_data,
};
