// The LV2 module loaded through lv2_descriptor as a host loads it, its run()
// on an audio thread under the realtime probe: in place, with every control
// changing from block to block (in range, beyond it, NaN) and blocks of 0 to
// 4096 frames, it makes no blocking call and writes only finite samples;
// after deactivate and activate its filters start cleared, as after a
// suspend. And the UI module, loaded through lv2ui_descriptor into a host
// window on a private X server (the editor desk's), with the host's side of
// the bank messages, its bypass, size hints that a host holds the window
// to, and a host that echoes the UI's writes late.
// The LV2 atom headers before Xlib's, whose Bool macro they do not survive.
#include "tests/support/lv2_host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>
#include <pthread.h>

#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lv2/ze710_lv2_ports.h"
#include "plugin_interface/vst_interface.h"
#include "tests/support/rig.h"

using namespace test_support;

TEST(Lv2Run, RealtimeSafeInPlaceAndClearedByActivate)
{
    const rt_probe probe;
    ASSERT_RT_PROBE_READY(probe);
    void* module = dlopen(ZE710_LV2_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto* d = reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(module, "lv2_descriptor"))(0);
    long non_finite = 0, after_activate = 0;
    std::thread([&] {
        const LV2_Feature* no_features[] = {nullptr};
        LV2_Handle h = d->instantiate(d, 48000.0, ZE710_LV2_BUNDLE, no_features);
        float control[kEqNumParams];
        std::vector<float> l(4096), r(4096);
        float* audio[] = {l.data(), r.data(), l.data(), r.data()};  // in place
        for (uint32_t p = 0; p < kLv2Enabled; ++p)
            d->connect_port(h, p, p < kLv2FirstControl ? audio[p] : &control[p - kLv2FirstControl]);
        d->activate(h);
        const uint32_t sizes[] = {4096, 0, 1, 31, 64, 65, 1000};  // the last round: 4096
        for (uint32_t round = 0; round < 701; ++round) {
            for (uint32_t p = 0; p < kEqNumParams; ++p)  // the last round: shelves +12 dB, Effect in
                control[p] = round == 700 ? (p < 2 ? 12.0f : p == kEqEffect)
                             : round % 13 == p ? NAN : static_cast<float>((round * 37 + p * 11) % 300) * 30 - 200;
            for (size_t i = 0; i < l.size(); ++i)
                r[i] = -(l[i] = static_cast<float>((round * 7919 + i * 104729) % 2000) / 4000 - 0.25f);
            const uint32_t n = sizes[round % 7];
            {
                rt_region region(probe);
                d->run(h, n);
            }
            for (uint32_t i = 0; i < n; ++i)
                non_finite += !std::isfinite(l[i]) + !std::isfinite(r[i]);
        }
        // The shelves ring for far longer than 256 frames unless cleared.
        d->deactivate(h);
        d->activate(h);
        l.assign(l.size(), 0.0f), r.assign(r.size(), 0.0f);
        d->run(h, 256);
        for (size_t i = 0; i < 256; ++i)
            after_activate += (l[i] != 0.0f) + (r[i] != 0.0f);
        d->cleanup(h);
    }).join();
    char report[512] = "";
    EXPECT_EQ(probe.blocking_calls(report, sizeof report), 0u) << report;
    EXPECT_EQ(non_finite, 0);
    EXPECT_EQ(after_activate, 0) << "samples out of silence after activate";
}

namespace {

using namespace std::chrono_literals;

// A host of the UI module, on this (the host's) thread, with ui:parent (a
// frame window of its own on the desk's server), ui:touch, ui:resize,
// ui:idleInterface and urid:map. It records what the UI asks of it, hands
// each control write back through port_event `echo` later, and follows
// ui:resize as suil in GTK 3 does, by the UI window's size hints (its
// frame and the UI window to the hints' minimum), or, `follow` false, not
// at all.
struct ui_host {
    struct call {
        char kind;  // 'w' write, 't' touch, 'r' resize, 'm' message
        uint32_t port;
        float value;  // 'w' the value, 't' grabbed
        int width, height;
        patch_message message;
        bool host_thread;
    };
    urid_map m;
    x_client x;
    Window frame = x.host_window(468, 510);
    std::chrono::milliseconds echo{-1};  // negative: no echo
    bool follow = true;
    const pthread_t thread = pthread_self();
    std::mutex lock;
    std::vector<call> calls;
    std::vector<std::pair<std::chrono::steady_clock::time_point, std::pair<uint32_t, float>>> echoes;
    void* module = dlopen(ZE710_LV2_UI_PATH, RTLD_NOW | RTLD_LOCAL);
    const LV2UI_Descriptor* d = nullptr;
    const LV2UI_Idle_Interface* idle = nullptr;
    LV2UI_Handle ui = nullptr;
    Window widget = 0;

    ui_host()
    {
        d = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(module, "lv2ui_descriptor"))(0);
        idle = static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
        static LV2UI_Touch touch = {nullptr, [](void* h, uint32_t port, bool on) {
                                        static_cast<ui_host*>(h)->record({'t', port, float(on), 0, 0, {}, false});
                                    }};
        static LV2UI_Resize resize = {nullptr, [](void* h, int w, int ht) { return static_cast<ui_host*>(h)->resized(w, ht); }};
        touch.handle = resize.handle = this;
        const LV2_Feature f[] = {{LV2_UI__parent, reinterpret_cast<void*>(frame)}, {LV2_UI__touch, &touch},
                                 {LV2_UI__resize, &resize}, {LV2_UI__idleInterface, nullptr}};
        const LV2_Feature* features[] = {&f[0], &f[1], &f[2], &f[3], m.feature(), nullptr};
        auto write = [](void* h, uint32_t port, uint32_t size, uint32_t format, const void* v) {
            auto* host = static_cast<ui_host*>(h);
            if (format == 0 && size == sizeof(float))
                host->record({'w', port, *static_cast<const float*>(v), 0, 0, {}, false});
            else
                host->record({'m', port, 0, 0, 0, read_patch(host->m, static_cast<const LV2_Atom*>(v)), false});
        };
        LV2UI_Widget w = nullptr;
        ui = d->instantiate(d, ZE710_LV2_URI, ZE710_LV2_BUNDLE, write, this, &w, features);
        widget = reinterpret_cast<Window>(w);
    }
    ~ui_host()
    {
        if (ui)
            d->cleanup(ui);
        x.destroy(frame);
        dlclose(module);
    }
    void record(call c)
    {
        std::lock_guard<std::mutex> guard(lock);
        c.host_thread = pthread_equal(pthread_self(), thread) != 0;
        calls.push_back(c);
        if (c.kind == 'w' && echo.count() >= 0)
            echoes.push_back({std::chrono::steady_clock::now() + echo, {c.port, c.value}});
    }
    int resized(int width, int height)
    {
        record({'r', 0, 0, width, height, {}, false});
        if (!follow)
            return 0;
        // As suil in GTK 3: the frame takes the size the hints ask for as
        // the least, the request only says when to look again.
        XSizeHints hints{};
        long supplied = 0;
        XGetWMNormalHints(x.display(), widget, &hints, &supplied);
        if (hints.flags & PMinSize)
            width = hints.min_width, height = hints.min_height;
        XResizeWindow(x.display(), frame, unsigned(width), unsigned(height));
        XResizeWindow(x.display(), widget, unsigned(width), unsigned(height));
        XSync(x.display(), False);
        return 0;
    }
    // The host's UI loop, until pred holds (at most 5 s): idle, then the
    // echoes that are due.
    bool pump_until(const std::function<bool()>& pred)
    {
        return wait_until([&] {
            idle->idle(ui);
            std::vector<std::pair<uint32_t, float>> due;
            {
                std::lock_guard<std::mutex> guard(lock);
                const auto now = std::chrono::steady_clock::now();
                while (!echoes.empty() && echoes.front().first <= now)
                    due.push_back(echoes.front().second), echoes.erase(echoes.begin());
            }
            for (const auto& e : due)
                set(e.first, e.second);
            return pred();
        });
    }
    void set(uint32_t port, float value) { d->port_event(ui, port, sizeof value, 0, &value); }
    void send_bank(const std::vector<uint8_t>& chunk)
    {
        const std::vector<uint8_t> atom = patch_put_bank(m, chunk);
        d->port_event(ui, kLv2NotifyOut, uint32_t(atom.size()), m.map(LV2_ATOM__eventTransfer), atom.data());
    }
    std::vector<call> since(size_t from)
    {
        std::lock_guard<std::mutex> guard(lock);
        return std::vector<call>(calls.begin() + long(std::min(from, calls.size())), calls.end());
    }
    int height(Window w)
    {
        int wx, wy, width = 0, h = 0;
        return x.geometry(w, &wx, &wy, &width, &h) ? h : 0;
    }
    std::vector<rgb> banner() { return x.capture(widget, 162 + 18, 58, 108, 16); }
    // A press at (px, py) of the editor, then `steps` moves by (dx, dy)
    // `pause` apart and the release, from a thread of its own (a user's
    // hand is not the host's thread): the host pumps meanwhile.
    void drag(int px, int py, int steps, int dx, int dy, std::chrono::milliseconds pause)
    {
        int wx, wy, w, h;
        x.geometry(widget, &wx, &wy, &w, &h);
        std::atomic<bool> done{false};
        std::thread hand([&] {
            x_client mouse;
            int at_x = wx + px, at_y = wy + py;
            mouse.move(at_x, at_y), mouse.button(1, true);
            for (int i = 0; i < steps; ++i)
                std::this_thread::sleep_for(pause), mouse.move(at_x += dx, at_y += dy);
            mouse.button(1, false);
            XSync(mouse.display(), False);
            done = true;
        });
        pump_until([&] { return done.load(); });
        hand.join();
        std::this_thread::sleep_for(2 * echo + 100ms);
        pump_until([] { return true; });
    }
};

std::vector<uint8_t> bank_of(vsthost::VstPlugin& p)
{
    void* data = nullptr;
    const VstIntPtr n = p.dispatch(effGetChunk, 0, 0, &data);
    return std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n);
}

bool grey(const std::vector<rgb>& pixels)
{
    return std::all_of(pixels.begin(), pixels.end(), [](const rgb& c) { return c.r == c.g && c.g == c.b; });
}

}  // namespace

// The bank: asked for at the open; the plug-in's bank names its current
// program on the banner as the VST 2 editor names it after a program
// change; a program arrow sends the bank with the next program current
// before that program's values, and nothing else; a restored editor size
// is followed at once within size hints that the host holds the window to,
// while a size the host sets on the old port waits for the next open. The
// host's bypass greys the editor.
TEST(Lv2Ui, TheBankFromThePluginHintsAndTheHostsBypass)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    ui_host host;
    ASSERT_NE(host.ui, nullptr);
    ASSERT_TRUE(host.x.wait_viewable(host.widget));
    host.pump_until([&] { return host.since(0).size() >= 2; });
    std::vector<ui_host::call> calls = host.since(0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].kind == 'r' && calls[0].width == 468 && calls[0].height == 510);
    EXPECT_TRUE(calls[1].kind == 'm' && calls[1].port == kLv2ControlIn && calls[1].message.get) << "no patch:Get";

    auto vst = load(48000.0f);
    vst->dispatch(effSetProgram, 0, 4);
    const std::vector<uint8_t> bank = bank_of(*vst);
    const Window vst_frame = host.x.host_window(468, 510, 480, 0);
    vst->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(vst_frame));
    const Window vst_editor = host.x.children(vst_frame).at(0);
    vst->dispatch(effSetProgram, 0, 4);
    host.send_bank(bank);
    EXPECT_TRUE(host.pump_until([&] { return host.banner() == host.x.capture(vst_editor, 180, 58, 108, 16); }))
        << "the banner does not name program 4 as the VST 2 editor does";

    size_t from = host.since(0).size();
    host.x.move(162 + 124, 8), host.x.button(1, true), host.x.button(1, false);
    host.pump_until([&] { return host.since(from).size() >= 9; });
    calls = host.since(from);
    ASSERT_EQ(calls.size(), 9u);
    std::vector<uint8_t> selected = bank;
    selected[16] = 5;
    EXPECT_EQ(calls[0].message.bank, selected) << "the bank with program 6 current, the others as they were";
    vst->dispatch(effSetProgram, 0, 5);
    for (size_t i = 1; i < calls.size(); ++i) {
        const int p = int(calls[i].port) - kLv2FirstControl;
        EXPECT_TRUE(calls[i].kind == 'w' && p >= 0 && p < kEqNumSoundParams &&
                    calls[i].value == eq_physical_of(p, vst->get_parameter(p)))
            << "write " << i << " is not program 6's";
    }

    for (const float size : {0.25f, 0.5f}) {  // the second from the hints of the first
        from = host.since(0).size();
        vst->set_parameter(kEqUiSize, size);
        host.send_bank(bank_of(*vst));
        const int h = int(510 * (1 + size) + 0.5f);
        EXPECT_TRUE(host.pump_until([&] { return host.height(host.frame) == h && host.height(host.widget) == h; }))
            << "the host holds its frame at " << host.height(host.frame) << ", not " << h;
        // The editor's own redraw at that size: its grip in the new corner.
        EXPECT_TRUE(host.pump_until([&] { return host.x.capture(host.widget, 466, h - 2, 1, 1).at(0) == rgb{112, 112, 112}; }));
    }
    host.set(kLv2FirstControl + kEqUiSize, 0.0f);
    host.pump_until([] { return true; });
    calls = host.since(from);
    EXPECT_TRUE(calls.size() == 1 && calls[0].kind == 'r' && calls[0].height == 765)
        << "a size the host set on the port resized the open editor";

    host.set(kLv2Enabled, 0.0f);
    EXPECT_TRUE(host.pump_until([&] { return grey(host.banner()); })) << "bypassed by the host, not greyed";
    host.set(kLv2Enabled, 1.0f);
    EXPECT_TRUE(host.pump_until([&] { return !grey(host.banner()); }));
    vst->dispatch(effEditClose);
}

// Echoes: a host that hands every write back 100 ms later. A 60-pixel
// drag up the HF gain knob from -20 dB writes rising dB values, all on the
// host's thread inside a touch, and ends where the same drag ends without
// echoes. The grip: a host that does not follow it still sees the editor
// whole in its frame, and the size reaches the plug-in in the bank, never
// as a control value that would change the host's preset.
TEST(Lv2Ui, LateEchoesMoveNothingAndTheGripNeverCrops)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    float ends[2] = {};
    for (int with_echo = 0; with_echo < 2; ++with_echo) {
        ui_host host;
        ASSERT_TRUE(host.x.wait_viewable(host.widget));
        host.echo = with_echo ? 100ms : -1ms;
        host.set(kLv2FirstControl + kEqHfGain, -20.0f);
        std::this_thread::sleep_for(400ms);  // no double click with the open's
        const size_t from = host.since(0).size();
        host.drag(162 + 101, 100 + 16, 20, 0, -3, 15ms);
        std::string kinds;
        float last = -20.0f;
        for (const ui_host::call& c : host.since(from)) {
            kinds += c.kind;
            EXPECT_TRUE(c.port == kLv2FirstControl + kEqHfGain && c.host_thread);
            if (c.kind == 'w') {
                EXPECT_GE(c.value, last) << "the drag jumped back";
                last = c.value;
            }
        }
        EXPECT_EQ(kinds.front(), 't') << kinds;
        EXPECT_EQ(kinds.find_first_not_of('w', 1), kinds.size() - 1) << kinds;
        ends[with_echo] = last;
        if (!with_echo)
            continue;
        EXPECT_EQ(ends[1], ends[0]) << "the echoes moved the drag";

        host.follow = false;
        const size_t grip = host.since(0).size();
        host.drag(466, 508, 20, 0, 8, 10ms);
        EXPECT_TRUE(host.pump_until([&] { return host.height(host.widget) == 510; }))
            << "cropped at " << host.height(host.widget);
        float size = 0.0f;
        for (const ui_host::call& c : host.since(grip)) {
            EXPECT_NE(c.kind, 'w') << "a control written for the size";
            if (c.kind == 'm' && c.message.bank.size() == 528)
                std::memcpy(&size, &c.message.bank[20], 4);
        }
        EXPECT_GT(size, 0.2f) << "the grown size never reached the plug-in";
    }
}
