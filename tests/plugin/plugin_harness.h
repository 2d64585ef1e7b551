// Test harness: the built ze710.so loaded through its entry point exactly as
// a host loads it, with a host callback that records what the plug-in sends.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plugin_interface/vst_interface.h"
#include "tools/host/response.h"
#include "tools/host/vst_host.h"

#ifndef ZE710_PLUGIN_PATH
#error "ZE710_PLUGIN_PATH must name the built plug-in module"
#endif

namespace ze710test {

inline std::unique_ptr<vsthost::VstPlugin> load_ze710()
{
    std::string error;
    std::unique_ptr<vsthost::VstPlugin> p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    EXPECT_TRUE(p) << error;
    return p;
}

// Stereo buffers of one block.
struct Stereo {
    explicit Stereo(size_t n) : l(n, 0.0f), r(n, 0.0f) {}
    std::vector<float> l, r;
    float* ptr[2];
    float** ptrs()
    {
        ptr[0] = l.data();
        ptr[1] = r.data();
        return ptr;
    }
};

// Deterministic noise, [-0.5, 0.5).
inline std::vector<float> noise(size_t n, uint32_t seed)
{
    std::vector<float> v(n);
    for (float& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    }
    return v;
}

class PluginTest : public ::testing::Test {
protected:
    static constexpr float kRate = 48000.0f;

    void SetUp() override
    {
        plugin = load_ze710();
        ASSERT_TRUE(plugin);
        plugin->start(kRate, 512);
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f)
    {
        return plugin->dispatch(opcode, index, value, ptr, opt);
    }
    std::string display(int index) { return plugin->parameter_display(index); }

    // Processes in/out through processReplacing in blocks of `block` frames.
    void run(const std::vector<float>& in_l, const std::vector<float>& in_r, std::vector<float>& out_l,
             std::vector<float>& out_r, size_t block = 512)
    {
        out_l.assign(in_l.size(), 0.0f);
        out_r.assign(in_r.size(), 0.0f);
        for (size_t pos = 0; pos < in_l.size(); pos += block) {
            const size_t n = std::min(block, in_l.size() - pos);
            float* ins[2] = {const_cast<float*>(&in_l[pos]), const_cast<float*>(&in_r[pos])};
            float* outs[2] = {&out_l[pos], &out_r[pos]};
            plugin->process(ins, outs, static_cast<VstInt32>(n));
        }
    }

    // Silence long enough for every glide to finish (the slowest takes under
    // a hundred 64-frame chunks), then a unit impulse into both inputs; the
    // left impulse response of `length` frames comes back.
    std::vector<float> impulse_response(size_t length = 48000, float rate = kRate)
    {
        std::vector<float> zeros(static_cast<size_t>(rate / 2), 0.0f), ol, orr;
        run(zeros, zeros, ol, orr);
        std::vector<float> in(length, 0.0f);
        in[0] = 1.0f;
        run(in, in, ol, orr);
        return ol;
    }
    double gain_db(const std::vector<float>& h, double f_hz, double rate = kRate)
    {
        return vsthost::magnitude_db(h, f_hz, rate);
    }

    std::unique_ptr<vsthost::VstPlugin> plugin;
};

}  // namespace ze710test
