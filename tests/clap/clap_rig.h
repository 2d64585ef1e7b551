#pragma once
// What the CLAP tests share: the built ze710.clap (ZE710_CLAP_PATH) in the
// small host of tools/clap_host, the plain value of a VST 2 normalised one,
// and audio through process() in calls of given sizes.

#include "model/eq_params.h"
#include "tests/support/support.h"
#include "tools/clap_host/clap_host.h"

namespace clap_test {

using claphost::ClapPlugin;
using claphost::InEvent;
using claphost::OutEvent;
constexpr clap_id kBypass = 9;

inline std::unique_ptr<ClapPlugin> load_clap()
{
    std::string error;
    std::unique_ptr<ClapPlugin> p = ClapPlugin::load(ZE710_CLAP_PATH, &error);
    EXPECT_TRUE(p) << error;
    return p;
}

// The plain value a CLAP host sends for a VST 2 parameter's normalised value.
inline double plain(clap_id id, float normalised)
{
    return id == kBypass ? normalised : eq_physical_of(static_cast<int>(id), normalised);
}

// l and r through process() in calls of the given sizes in turn, the events
// of the first call (their frames within it); the left output, the right
// into *out_r. in_place: the outputs are written over copies of the inputs.
inline std::vector<float> render(ClapPlugin& p, const std::vector<float>& l, const std::vector<float>& r,
                                 const std::vector<int>& calls, std::vector<float>* out_r,
                                 const std::vector<InEvent>& events = {}, bool in_place = false)
{
    std::vector<float> il = l, ir = r, ol(l.size()), orr(l.size());
    for (size_t pos = 0, k = 0; pos < l.size(); ++k) {
        const size_t n = std::min<size_t>(static_cast<size_t>(calls[k % calls.size()]), l.size() - pos);
        float* const in[2] = {&il[pos], &ir[pos]};
        float* const out[2] = {in_place ? &il[pos] : &ol[pos], in_place ? &ir[pos] : &orr[pos]};
        EXPECT_EQ(p.process(in, out, static_cast<uint32_t>(n), k == 0 ? events : std::vector<InEvent>()),
                  CLAP_PROCESS_CONTINUE);
        pos += n;
    }
    *out_r = in_place ? ir : orr;
    return in_place ? il : ol;
}

}  // namespace clap_test
