// The LV2 module loaded through lv2_descriptor as a host loads it, its run()
// on an audio thread under the realtime probe: in place, with every control
// changing from block to block (in range, beyond it, NaN) and blocks of 0 to
// 4096 frames, it makes no blocking call and writes only finite samples;
// after deactivate and activate its filters start cleared, as after a
// suspend.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>

#include <cmath>
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
