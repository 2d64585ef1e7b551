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

#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "editor_desk.h"
#include "lv2/ze710_lv2_ports.h"
#include "rt_probe.h"
#include "tests/support/wait.h"

using namespace ze710test;

TEST(Lv2Run, RealtimeSafeInPlaceAndClearedByActivate)
{
    const RtProbe probe;
#ifdef ZE710_EXPECT_RT_PROBE
    ASSERT_TRUE(probe.loaded()) << "the realtime probe was not preloaded";
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
        for (uint32_t p = 0; p < kLv2NumPorts; ++p)
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
            RtRegion region(probe);
            d->run(h, n);
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
    EXPECT_EQ(probe.total(), 0u) << probe.report();
    EXPECT_EQ(non_finite, 0);
    EXPECT_EQ(after_activate, 0) << "samples out of silence after activate";
}

namespace {

// What the UI asked of the host: 'w' write (port, value), 't' touch (port,
// grabbed), 'r' resize (width, height), and whether on the host's thread.
struct HostCall {
    char kind;
    uint32_t a;
    float b;
    bool host_thread;
};

struct Lv2UiHost {
    std::mutex m;
    std::vector<HostCall> calls;
    pthread_t thread = pthread_self();
    void add(char kind, uint32_t a, float b)
    {
        std::lock_guard<std::mutex> lock(m);
        calls.push_back({kind, a, b, pthread_equal(pthread_self(), thread) != 0});
    }
    std::vector<HostCall> seen()
    {
        std::lock_guard<std::mutex> lock(m);
        return calls;
    }
};

}  // namespace

// In a host that offers ui:parent, ui:touch, ui:resize and drives idle():
// the editor shows in the host's window and sizes the host's frame; a host
// value (-20 dB) reaches the knob, so that a drag up from there writes dB
// values between -20 and -5 (not normalised ones), between a touch of the
// port and its release, all on the host's thread; the size port resizes
// the open editor.
TEST(Lv2Ui, EmbedsTouchesWritesDecibelsAndFollowsThePorts)
{
    ze710test::EditorDesk desk;
    ASSERT_TRUE(desk.ready()) << "no private X server";
    void* module = dlopen(ZE710_LV2_UI_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto* d = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(module, "lv2ui_descriptor"))(0);
    ASSERT_NE(d, nullptr);

    Lv2UiHost host;
    LV2UI_Touch touch = {&host, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                             static_cast<Lv2UiHost*>(h)->add('t', port, grabbed);
                         }};
    LV2UI_Resize resize = {&host, [](LV2UI_Feature_Handle h, int w, int hh) {
                               static_cast<Lv2UiHost*>(h)->add('r', static_cast<uint32_t>(w), static_cast<float>(hh));
                               return 0;
                           }};
    const LV2_Feature parent = {LV2_UI__parent, reinterpret_cast<void*>(desk.make_host_window(0))};
    const LV2_Feature f_touch = {LV2_UI__touch, &touch}, f_resize = {LV2_UI__resize, &resize};
    const LV2_Feature f_idle = {LV2_UI__idleInterface, nullptr};
    const LV2_Feature* features[] = {&parent, &f_touch, &f_resize, &f_idle, nullptr};
    auto write = [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
        if (size == sizeof(float) && format == 0)
            static_cast<Lv2UiHost*>(c)->add('w', port, *static_cast<const float*>(buffer));
    };
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = d->instantiate(d, ZE710_LV2_URI, ZE710_LV2_BUNDLE, write, &host, &widget, features);
    ASSERT_NE(ui, nullptr);
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    EXPECT_NE(widget, nullptr);
    EXPECT_TRUE(desk.editor_shown(0));
    ASSERT_FALSE(host.seen().empty());
    EXPECT_EQ(host.seen().back().kind, 'r');
    EXPECT_EQ(host.seen().back().a, 468u);
    EXPECT_EQ(host.seen().back().b, 510.0f);

    const float minus20 = -20.0f;
    d->port_event(ui, kLv2FirstControl + kEqHfGain, sizeof(float), 0, &minus20);
    d->port_event(ui, kLv2FirstControl + kEqHfGain, 2, 0, "x");  // not a float: ignored
    const size_t before = host.seen().size();
    ASSERT_TRUE(desk.drag_knob(0, 10, true));
    auto released = [&] {
        idle->idle(ui);
        const std::vector<HostCall> c = host.seen();
        return c.size() > before && c.back().kind == 't' && c.back().b == 0.0f;
    };
    EXPECT_TRUE(test_support::wait_until(released, std::chrono::milliseconds(3000)));
    const std::vector<HostCall> all = host.seen();
    const std::vector<HostCall> drag(all.begin() + static_cast<long>(before), all.end());
    ASSERT_GE(drag.size(), 3u);
    EXPECT_TRUE(drag.front().kind == 't' && drag.front().b == 1.0f) << "no touch before the writes";
    float last = -20.0f;
    for (size_t i = 1; i + 1 < drag.size(); ++i) {
        EXPECT_EQ(drag[i].kind, 'w');
        EXPECT_TRUE(drag[i].b >= last && drag[i].b < -5.0f) << "written " << drag[i].b;
        last = drag[i].b;
    }
    for (const HostCall& c : drag) {
        EXPECT_EQ(c.a, kLv2FirstControl + kEqHfGain);
        EXPECT_TRUE(c.host_thread);
    }
    EXPECT_GT(last, -20.0f);

    const float half = 0.5f;
    d->port_event(ui, kLv2FirstControl + kEqUiSize, sizeof(float), 0, &half);
    EXPECT_EQ(host.seen().back().kind, 'r');
    EXPECT_EQ(host.seen().back().b, 765.0f);
    EXPECT_TRUE(test_support::wait_until([&] {
        XWindowAttributes a{};
        return XGetWindowAttributes(desk.display(), reinterpret_cast<Window>(widget), &a) && a.height == 765;
    }));
    d->cleanup(ui);
    EXPECT_EQ(dlclose(module), 0);
}
