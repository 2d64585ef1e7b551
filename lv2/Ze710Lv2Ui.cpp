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

// Room for one message: a patch:Put with the bank chunk.
constexpr size_t kMessageBytes = 1024;

}  // namespace

// ---- life -----------------------------------------------------------------------

Ze710Lv2Ui::Ze710Lv2Ui(LV2UI_Write_Function write, LV2UI_Controller controller,
                       const LV2_Feature* const* features)
    : write(write), controller(controller), host_thread(pthread_self())
{
    const LV2_URID_Map* map = nullptr;
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
        else if (!std::strcmp(uri, LV2_URID__map))
            map = static_cast<const LV2_URID_Map*>((*f)->data);
    }
    if (touch && !touch->touch)
        touch = nullptr;
    if (resize && !resize->ui_resize)
        resize = nullptr;
    if (urids.map_all(map))
        lv2_atom_forge_init(&forge_template, const_cast<LV2_URID_Map*>(map));
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
    // The host's frame takes the editor's size from the start; the
    // plug-in's bank (programs, current program, size) comes in answer.
    ui->sizeWindow(ui->editor_gui->get_window_width(), ui->editor_gui->get_window_height());
    if (ui->urids.mapped())
        ui->send({HostCall::kGetBank, 0, 0.0f, 0, 0});
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
    if (!buffer)
        return;
    if (port == kLv2NotifyOut && urids.mapped() && format == urids.atom_eventTransfer) {
        const uint8_t* chunk = nullptr;
        if (ze710_read_message(static_cast<const LV2_Atom*>(buffer), size, urids, &chunk) == Ze710Message::kBank)
            take_bank(chunk);
        return;
    }
    if (format != 0 || size != sizeof(float) || port < kLv2FirstControl || port > kLv2Enabled)
        return;
    float physical;
    std::memcpy(&physical, buffer, sizeof physical);
    if (!std::isfinite(physical))
        return;
    if (port == kLv2Enabled) {
        editor_gui->setHostEffEnable(physical > 0.0f ? 1.0f : 0.0f);
        return;
    }
    const int index = static_cast<int>(port - kLv2FirstControl);
    // The editor size lives in the bank; what a host sets on the old size
    // port reaches the editor through the plug-in at its next open.
    if (index == kEqUiSize || !accept_port_value(index, physical))
        return;
    const float v = clamp01(eq_normalised_of(index, physical));
    bank.set_value(index, v);
    editor_gui->setParameter(index, v);
}

void Ze710Lv2Ui::take_bank(const uint8_t* chunk)
{
    EqBank restored;
    if (!eq_chunk_read_bank(chunk, eq_chunk::kBankBytes, &restored))
        return;
    bank.set_bank(restored);
    // The size as saved, at once (the answer to the open's request, or a
    // restored state); the current program, which the arrows step from,
    // named on the banner as a VST 2 program change names it: a preset
    // loaded, before the open or while the editor is open, shows its name.
    editor_gui->setParameter(kEqUiSize, bank.value(kEqUiSize));
    editor_gui->follow_ui_size();
    editor_gui->setProgram(restored.current_program);
}

int Ze710Lv2Ui::idle()
{
    host_idles.store(true);
    // A host may answer a write with port_event at once: the outbox lets go
    // of its lock first.
    outbox.drain([this](const HostCall& call) { call_host(call); });
    return 0;
}

// ---- echoes ---------------------------------------------------------------------------------

bool Ze710Lv2Ui::accept_port_value(int index, float physical)
{
    std::lock_guard<std::mutex> lock(echo_mutex);
    EchoGuard& g = echo[index];
    if (g.held)
        return false;
    if (std::chrono::steady_clock::now() - g.last_write > kEchoWindow)
        g.count = 0;
    for (int i = 0; i < g.count; ++i) {
        if (g.written[i] != physical)
            continue;
        // The last write coming back: the echoes are through.
        const bool last = i == g.count - 1;
        if (last)
            g.count = 0;
        return last;
    }
    // Not one of ours: the host moved the control.
    g.count = 0;
    return true;
}

void Ze710Lv2Ui::remember_write(int index, float physical)
{
    std::lock_guard<std::mutex> lock(echo_mutex);
    EchoGuard& g = echo[index];
    if (g.count == kEchoMemory) {
        std::memmove(g.written, g.written + 1, sizeof(float) * (kEchoMemory - 1));
        --g.count;
    }
    g.written[g.count++] = physical;
    g.last_write = std::chrono::steady_clock::now();
}

// ---- to the host -------------------------------------------------------------------------

void Ze710Lv2Ui::send(const HostCall& call)
{
    if (!host_idles.load() || pthread_equal(pthread_self(), host_thread)) {
        call_host(call);
        return;
    }
    outbox.push(call, [](const HostCall& last, const HostCall& next) {
        const bool same_write = next.kind == HostCall::kWrite && last.kind == HostCall::kWrite && last.port == next.port;
        const bool same_kind = next.kind == last.kind && next.kind != HostCall::kWrite && next.kind != HostCall::kTouch;
        return same_write || same_kind;
    });
}

void Ze710Lv2Ui::call_host(const HostCall& call)
{
    switch (call.kind) {
    case HostCall::kWrite: write(controller, call.port, sizeof(float), 0, &call.value); break;
    case HostCall::kTouch: touch->touch(touch->handle, call.port, call.value != 0.0f); break;
    case HostCall::kResize: resize->ui_resize(resize->handle, call.width, call.height); break;
    case HostCall::kGetBank: write_message(false); break;
    case HostCall::kSendBank: write_message(true); break;
    }
}

void Ze710Lv2Ui::write_message(bool bank_too)
{
    alignas(8) uint8_t buffer[kMessageBytes];
    LV2_Atom_Forge forge = forge_template;
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
    uint8_t chunk[eq_chunk::kBankBytes];
    if (bank_too)
        bank.write_chunk(false, chunk);
    if (bank_too ? !ze710_write_bank(&forge, urids, chunk) : !ze710_write_get(&forge, urids))
        return;
    const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer);
    write(controller, kLv2ControlIn, static_cast<uint32_t>(sizeof(LV2_Atom) + atom->size), urids.atom_eventTransfer,
          atom);
}

// ---- CEditorHost: the editor's operations -------------------------------------------------

float Ze710Lv2Ui::getParameter(int index)
{
    return bank.value(index);
}

void Ze710Lv2Ui::beginEdit(int index)
{
    if (index < 0 || index >= kEqNumSoundParams)
        return;
    {
        std::lock_guard<std::mutex> lock(echo_mutex);
        echo[index].held = true;
    }
    if (touch)
        send({HostCall::kTouch, port_of(index), 1.0f, 0, 0});
}

void Ze710Lv2Ui::endEdit(int index)
{
    // The editor ends every parameter at every release; the host hears of
    // the ones it heard begin.
    if (index < 0 || index >= kEqNumSoundParams)
        return;
    bool was_held;
    {
        std::lock_guard<std::mutex> lock(echo_mutex);
        was_held = echo[index].held;
        echo[index].held = false;
    }
    if (touch && was_held)
        send({HostCall::kTouch, port_of(index), 0.0f, 0, 0});
}

void Ze710Lv2Ui::setParameterAutomated(int index, float value)
{
    if (index < 0 || index >= kEqNumParams || !bank.set_value(index, value))
        return;
    editor_gui->setParameter(index, value);
    // The size goes to the plug-in in the bank: no control of the host's
    // preset changes.
    if (index == kEqUiSize) {
        if (urids.mapped())
            send({HostCall::kSendBank, 0, 0.0f, 0, 0});
        return;
    }
    const float physical = eq_physical_of(index, value);
    remember_write(index, physical);
    send({HostCall::kWrite, port_of(index), physical, 0, 0});
}

void Ze710Lv2Ui::setProgram(int index)
{
    // The plug-in hears of the selection first (the bank, with this program
    // current and the one left holding its values), then the new values.
    EqProgram program;
    bank.select_program(index, &program);
    if (urids.mapped())
        send({HostCall::kSendBank, 0, 0.0f, 0, 0});
    for (int p : kProgramOrder)
        setParameterAutomated(p, program.value[p]);
    editor_gui->setProgram(bank.current_program());
}

void Ze710Lv2Ui::getProgramName(char* text, int size)
{
    if (!text || size <= 0)
        return;
    const EqProgram program = bank.program(bank.current_program());
    std::snprintf(text, static_cast<size_t>(size), "%s", program.name);
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
