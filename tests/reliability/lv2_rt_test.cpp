// The LV2 module loaded through lv2_descriptor as a host loads it, its run()
// on an audio thread under the realtime probe: in place, with every control
// changing from block to block (in range, beyond it, NaN) and blocks of 0 to
// 4096 frames, it makes no blocking call and writes only finite samples;
// after deactivate and activate its filters start cleared, as after a
// suspend. And the UI module, loaded through lv2ui_descriptor into a host
// window on a private X server.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lv2/ze710_lv2_ports.h"
#include "tests/support/rig.h"

using namespace test_support;

TEST(Lv2Run, RealtimeSafeInPlaceAndClearedByActivate)
{
    const rt_probe probe;
#ifndef ZE710_SANITIZED
    ASSERT_TRUE(probe.loaded()) << "the realtime probe was not preloaded";
    probe.reset();
#endif
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
            if (probe.loaded())
                probe.enter();
            d->run(h, n);
            if (probe.loaded())
                probe.leave();
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
    EXPECT_EQ(probe.loaded() ? probe.report(report, sizeof report) : 0u, 0u) << report;
    EXPECT_EQ(non_finite, 0);
    EXPECT_EQ(after_activate, 0) << "samples out of silence after activate";
}

namespace {

// What the UI asked of the host, in order: 'w' write (port, value), 't'
// touch (port, grabbed), 'r' resize (width, height); and on which thread.
struct HostCall {
    char kind;
    float a, b;
    bool host_thread;
};
struct {
    std::mutex lock;
    std::vector<HostCall> calls;
    size_t count() { return values().size(); }
    std::vector<HostCall> values()
    {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
} host_calls;
const pthread_t host_thread = pthread_self();
void host_call(char kind, float a, float b)
{
    std::lock_guard<std::mutex> guard(host_calls.lock);
    host_calls.calls.push_back({kind, a, b, pthread_equal(pthread_self(), host_thread) != 0});
}

}  // namespace

// In a host that offers ui:parent, ui:touch, ui:resize and drives idle():
// the editor shows in the host's window and sizes the host's frame; a host
// value (-20 dB) reaches the knob, so that a drag up from there writes dB
// values between -20 and -5 (not normalised ones) inside a touch of the
// port, all on the host's thread; the size port resizes the open editor.
TEST(Lv2Ui, EmbedsTouchesWritesDecibelsAndFollowsThePorts)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    void* module = dlopen(ZE710_LV2_UI_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto* d = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(module, "lv2ui_descriptor"))(0);
    LV2UI_Touch touch = {nullptr, [](void*, uint32_t port, bool grabbed) { host_call('t', port, grabbed); }};
    LV2UI_Resize resize = {nullptr, [](void*, int w, int h) { return host_call('r', w, h), 0; }};
    const LV2_Feature f[] = {{LV2_UI__parent, reinterpret_cast<void*>(desk.host_window(0))},
                             {LV2_UI__touch, &touch}, {LV2_UI__resize, &resize}, {LV2_UI__idleInterface, nullptr}};
    const LV2_Feature* features[] = {&f[0], &f[1], &f[2], &f[3], nullptr};
    auto write = [](void*, uint32_t port, uint32_t, uint32_t, const void* v) {
        host_call('w', port, *static_cast<const float*>(v));
    };
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = d->instantiate(d, ZE710_LV2_URI, ZE710_LV2_BUNDLE, write, nullptr, &widget, features);
    ASSERT_NE(ui, nullptr);
    EXPECT_TRUE(desk.editor_shown(0));
    auto last = [] { return host_calls.count() ? host_calls.values().back() : HostCall{}; };
    EXPECT_TRUE(last().kind == 'r' && last().a == 468 && last().b == 510);

    const float minus20 = -20.0f, half = 0.5f;
    d->port_event(ui, kLv2FirstControl + kEqHfGain, sizeof(float), 0, &minus20);
    const size_t before = host_calls.count();
    // The engine takes a press within 0.3 s of its start for a double click.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_TRUE(desk.drag_knob(0, 10, true));
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
    EXPECT_TRUE(test_support::wait_until([&] { return idle->idle(ui), last().kind == 't' && last().b == 0; }));
    const std::vector<HostCall> all = host_calls.values();
    std::string kinds;
    float lowest = 0, highest = -20;
    for (size_t i = before; i < all.size(); ++i) {
        kinds += all[i].kind;
        EXPECT_TRUE(all[i].a == kLv2FirstControl + kEqHfGain && all[i].host_thread) << i;
        if (all[i].kind == 'w')
            lowest = std::min(lowest, all[i].b), highest = std::max(highest, all[i].b);
    }
    EXPECT_TRUE(kinds.size() > 2 && kinds.find_first_not_of('w', 1) == kinds.size() - 1 && all[before].b == 1) << kinds;
    EXPECT_TRUE(lowest > -20 && highest < -5) << lowest << " to " << highest << " dB";

    d->port_event(ui, kLv2FirstControl + kEqUiSize, sizeof(float), 0, &half);
    EXPECT_TRUE(last().kind == 'r' && last().b == 765);
    EXPECT_TRUE(test_support::wait_until([&] {
        XWindowAttributes a{};
        return XGetWindowAttributes(desk.display(), reinterpret_cast<Window>(widget), &a) && a.height == 765;
    }));
    d->cleanup(ui);
    EXPECT_EQ(dlclose(module), 0);
}
