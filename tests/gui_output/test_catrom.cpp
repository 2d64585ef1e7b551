// Catmull-Rom resampler without a display: the integer kernel against the
// continuous Catmull-Rom cubic, and the fast path against the plain
// per-pixel transcription over many geometries and scales. (The results
// against a reference from the kernel formula are checked through real X
// images in test_display_formats.cpp.)

#include <gtest/gtest.h>

#include "gui_engine/afx_catrom.h"
#include "tests/gui_output/catrom_reference.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

namespace {

using namespace catrom_reference;

// Continuous Catmull-Rom cubic, a = -0.5.
double catmull_rom(double x)
{
    x = std::fabs(x);
    if (x < 1.0)
        return 1.5 * x * x * x - 2.5 * x * x + 1.0;
    if (x < 2.0)
        return -0.5 * x * x * x + 2.5 * x * x - 4.0 * x + 2.0;
    return 0.0;
}

TEST(CatmullRomKernel, FollowsTheCubicAndKeepsUnitGain)
{
    EXPECT_EQ(afx_catrom_weight(0), 256);
    EXPECT_EQ(afx_catrom_weight(256), 0);
    EXPECT_EQ(afx_catrom_weight(512), 0);
    EXPECT_EQ(afx_catrom_weight(-1), 0);
    for (int t = 0; t < 512; ++t)
        EXPECT_NEAR(afx_catrom_weight(t), 256.0 * catmull_rom(t / 256.0), 3.0) << "t " << t;
    for (int f = 0; f < 256; ++f) {
        int sum = 0;
        for (int k = -1; k <= 2; ++k)
            sum += afx_catrom_weight(std::abs(256 * k - f));
        EXPECT_GE(sum, 250) << "f " << f;
        EXPECT_LE(sum, 262) << "f " << f;
    }
}

TEST(CatmullRomResample, FastPathEqualsThePlainTranscription)
{
    std::mt19937 rng(42);
    auto pick = [&rng](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
    const float scales[] = {1.0f, 1.125f, 1.25f, 1.375f, 1.5f, 1.75f, 1.875f, 2.0f, 3.0f, 4.0f, 0.75f, 0.5f};
    int runs_drawn = 0;
    long pixels_drawn = 0;
    for (int run = 0; run < 400; ++run) {
        const source_image s(pick(1, 40), pick(1, 40), static_cast<unsigned>(run));
        const int w = pick(1, 90), h = pick(1, 90);
        const float scale = scales[run % (sizeof scales / sizeof scales[0])];
        // One run in four anywhere (mostly nothing to draw); the others
        // overlap the image and the source's footprint.
        const bool anywhere = run % 4 == 0;
        const int x = anywhere ? pick(-10, w + 2) : pick(-5, w / 2);
        const int y = anywhere ? pick(-10, h + 2) : pick(-5, h / 2);
        const int rw = anywhere ? pick(-2, w + 10) : pick(1, w + 10);
        const int rh = anywhere ? pick(-2, h + 10) : pick(1, h + 10);
        const int ox = anywhere ? pick(-20, w) : pick(-10, x + rw / 2);
        const int oy = anywhere ? pick(-20, h) : pick(-10, y + rh / 2);
        canvas fast(w, h), plain(w, h);
        const bool drew_fast = afx_catrom_resample(&s.pb, w, h, x, y, rw, rh, ox, oy, scale, sink_into, &fast);
        const bool drew_plain =
            afx_catrom_resample_plain(&s.pb, w, h, x, y, rw, rh, ox, oy, scale, sink_into, &plain);
        ASSERT_EQ(drew_fast, drew_plain) << "run " << run;
        runs_drawn += drew_fast;
        pixels_drawn += std::count_if(fast.rgb.begin(), fast.rgb.end(), [](int v) { return v >= 0; });
        ASSERT_EQ(fast.rgb, plain.rgb) << "run " << run << " scale " << scale << " rect " << x << ","
                                       << y << " " << rw << "x" << rh << " origin " << ox << "," << oy;
    }
    // The random geometry must mostly draw, or the comparison proves little.
    EXPECT_GT(runs_drawn, 200);
    EXPECT_GT(pixels_drawn, 100000);
}

TEST(CatmullRomResample, ExtremeContrastSaturatesInsteadOfWrapping)
{
    // A single white pixel on black rings negative around it and overshoots
    // on a black-white step; both must clamp, never wrap.
    source_image s(8, 8, 0);
    std::fill(s.bytes.begin(), s.bytes.end(), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 4; x < 8; ++x)
            for (int ch = 0; ch < 3; ++ch)
                s.bytes[(static_cast<size_t>(y) * 8 + x) * 4 + ch] = 255;
    canvas fast(40, 40), plain(40, 40);
    afx_catrom_resample(&s.pb, 40, 40, 0, 0, 40, 40, 0, 0, 1.875f, sink_into, &fast);
    afx_catrom_resample_plain(&s.pb, 40, 40, 0, 0, 40, 40, 0, 0, 1.875f, sink_into, &plain);
    EXPECT_EQ(fast.rgb, plain.rgb);
    int saw_black = 0, saw_white = 0;
    for (int v : fast.rgb) {
        ASSERT_LE(v, 255);
        saw_black += v == 0;
        saw_white += v == 255;
    }
    EXPECT_GT(saw_black, 0);
    EXPECT_GT(saw_white, 0);
}

TEST(CatmullRomResample, NothingForBadScalesOrAreas)
{
    const source_image s(10, 10, 3);
    canvas c(20, 20);
    EXPECT_FALSE(afx_catrom_resample(&s.pb, 20, 20, 0, 0, 20, 20, 0, 0, 0.0f, sink_into, &c));
    EXPECT_FALSE(afx_catrom_resample(&s.pb, 20, 20, 0, 0, 20, 20, 0, 0, -1.5f, sink_into, &c));
    EXPECT_FALSE(afx_catrom_resample(&s.pb, 20, 20, 0, 0, 20, 20, 0, 0, std::nanf(""), sink_into, &c));
    EXPECT_FALSE(afx_catrom_resample(&s.pb, 20, 20, 20, 0, 5, 5, 0, 0, 2.0f, sink_into, &c));
    EXPECT_FALSE(afx_catrom_resample(&s.pb, 20, 20, 0, 0, 5, 5, 20, 0, 2.0f, sink_into, &c));
    EXPECT_FALSE(afx_catrom_resample(&s.pb, 20, 20, 0, 0, 5, 0, 0, 0, 2.0f, sink_into, &c));
    // The rectangle lies wholly left of the origin.
    EXPECT_FALSE(afx_catrom_resample(&s.pb, 20, 20, 0, 0, 5, 5, 6, 0, 2.0f, sink_into, &c));
    for (int v : c.rgb)
        ASSERT_EQ(v, -1);

    // "Everything from here on" as the largest int draws up to the image's edge.
    canvas all(20, 20), plain(20, 20);
    EXPECT_TRUE(afx_catrom_resample(&s.pb, 20, 20, -3, 2, INT_MAX, INT_MAX, 0, 0, 2.0f, sink_into, &all));
    afx_catrom_resample_plain(&s.pb, 20, 20, 0, 2, 20, 18, 0, 0, 2.0f, sink_into, &plain);
    EXPECT_EQ(all.rgb, plain.rgb);
    EXPECT_TRUE(all.written(19, 19));
    EXPECT_FALSE(all.written(19, 1));
}

} // namespace
