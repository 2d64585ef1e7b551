// Band designs: the coefficient sets and the responses they give at DC, at
// the corner or centre and at Nyquist, the guards of the designs, and
// stability at every sample rate the engine may be run at.

#include <gtest/gtest.h>

#include <cmath>

#include "dsp/lx_designs.h"
#include "dsp_test_util.h"

namespace {

constexpr double fs = 44100.0;

// Four significant digits.
void expect_4sig(float actual, double expected)
{
    EXPECT_NEAR(actual, expected, std::fabs(expected) * 5e-4 + 1e-12) << "expected " << expected;
}

void expect_set(const lx_coefs& k, double fb1, double fb2, double b0, double b1, double b2)
{
    expect_4sig(k.fb1, fb1);
    expect_4sig(k.fb2, fb2);
    expect_4sig(k.b0, b0);
    expect_4sig(k.b1, b1);
    expect_4sig(k.b2, b2);
}

bool same_set(const lx_coefs& a, const lx_coefs& b)
{
    return a.fb1 == b.fb1 && a.fb2 == b.fb2 && a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2;
}

TEST(Designs, CoefficientSetsAt44100)
{
    expect_set(lx_peq_coefs(1000, 12, 1, fs), 1.931, -0.9507, 1.075, -1.935, 0.8792);
    expect_set(lx_low_shelf_coefs(100, 12, fs), 1.986, -0.9858, 1.007, -1.986, 0.9789);
    expect_set(lx_high_shelf_coefs(8000, -12, fs), 0.8598, -0.3054, 0.4214, -0.04912, 0.07332);
}

TEST(Designs, ShelfResponses)
{
    const lx_coefs low = lx_low_shelf_coefs(100, 12, fs);
    EXPECT_NEAR(response_db(low, 0, fs), 12.0, 0.01);
    EXPECT_NEAR(response_db(low, 100, fs), 6.0, 0.02);
    EXPECT_NEAR(response_db(low, fs / 2, fs), 0.0, 0.01);

    const lx_coefs low_cut = lx_low_shelf_coefs(100, -12, fs);
    EXPECT_NEAR(response_db(low_cut, 0, fs), -12.0, 0.01);
    EXPECT_NEAR(response_db(low_cut, 100, fs), -6.0, 0.02);

    const lx_coefs high = lx_high_shelf_coefs(8000, -12, fs);
    EXPECT_NEAR(response_db(high, 0, fs), 0.0, 0.01);
    EXPECT_NEAR(response_db(high, 8000, fs), -6.0, 0.02);
    EXPECT_NEAR(response_db(high, fs / 2, fs), -12.0, 0.01);

    const lx_coefs high_boost = lx_high_shelf_coefs(4000, 12, fs);
    EXPECT_NEAR(response_db(high_boost, 4000, fs), 6.0, 0.02);
    EXPECT_NEAR(response_db(high_boost, fs / 2, fs), 12.0, 0.01);
}

TEST(Designs, ZeroDbShelfIsTransparent)
{
    for (float fc : {100.0f, 150.0f, 4000.0f, 8000.0f}) {
        for (const lx_coefs& k : {lx_low_shelf_coefs(fc, 0, fs), lx_high_shelf_coefs(fc, 0, fs)}) {
            EXPECT_EQ(k.b0, 1.0f);
            EXPECT_EQ(k.b1, -k.fb1);
            EXPECT_EQ(k.b2, -k.fb2);
        }
    }
}

TEST(Designs, MidBandResponse)
{
    const lx_coefs boost = lx_peq_coefs(1000, 12, 1, fs);
    EXPECT_NEAR(response_db(boost, 0, fs), 0.0, 0.001);
    EXPECT_NEAR(response_db(boost, 1000, fs), 12.0, 0.01);
    EXPECT_NEAR(response_db(boost, fs / 2, fs), 0.02, 0.01);
    // Half-gain points one octave apart around 1 kHz.
    EXPECT_NEAR(response_db(boost, 1000 / std::sqrt(2.0), fs), 6.0, 0.15);
    EXPECT_NEAR(response_db(boost, 1000 * std::sqrt(2.0), fs), 6.0, 0.15);
    EXPECT_LT(response_db(boost, 650, fs), 6.0);
    EXPECT_GT(response_db(boost, 760, fs), 6.0);
    EXPECT_GT(response_db(boost, 1320, fs), 6.0);
    EXPECT_LT(response_db(boost, 1520, fs), 6.0);

    // A cut is the mirror image in dB.
    const lx_coefs cut = lx_peq_coefs(1000, -12, 1, fs);
    for (double f : {0.0, 300.0, 707.0, 1000.0, 1415.0, 3000.0, fs / 2})
        EXPECT_NEAR(response_db(cut, f, fs), -response_db(boost, f, fs), 0.01) << f << " Hz";

    // Near Nyquist the design keeps the analogue prototype's gain there.
    const lx_coefs wide = lx_peq_coefs(4000, 20, 2, fs);
    EXPECT_NEAR(response_db(wide, 4000, fs), 20.0, 0.02);
    EXPECT_NEAR(response_db(wide, fs / 2, fs), 2.5, 0.1);
}

TEST(Designs, MidGainDeadZone)
{
    EXPECT_TRUE(same_set(lx_peq_coefs(1000, 0.0f, 1, fs), lx_peq_coefs(1000, 0.025f, 1, fs)));
    EXPECT_TRUE(same_set(lx_peq_coefs(1000, -0.01f, 1, fs), lx_peq_coefs(1000, -0.025f, 1, fs)));
    EXPECT_NEAR(response_db(lx_peq_coefs(1000, 0.0f, 1, fs), 1000, fs), 0.025, 0.001);
    EXPECT_NEAR(response_db(lx_peq_coefs(1000, -0.01f, 1, fs), 1000, fs), -0.025, 0.001);
    EXPECT_NEAR(response_db(lx_peq_coefs(1000, 0.025f, 1, fs), 1000, fs), 0.025, 0.001);
    EXPECT_NEAR(response_db(lx_peq_coefs(1000, -0.025f, 1, fs), 1000, fs), -0.025, 0.001);
    // Values outside the zone are designed as given.
    EXPECT_NEAR(response_db(lx_peq_coefs(1000, 0.05f, 1, fs), 1000, fs), 0.05, 0.001);
}

TEST(Designs, ShelfCornerClamp)
{
    EXPECT_TRUE(same_set(lx_low_shelf_coefs(0.5f, 12, fs), lx_low_shelf_coefs(1.0f, 12, fs)));
    EXPECT_TRUE(same_set(lx_high_shelf_coefs(0.5f, -12, fs), lx_high_shelf_coefs(1.0f, -12, fs)));
    EXPECT_FALSE(same_set(lx_low_shelf_coefs(1.0f, 12, fs), lx_low_shelf_coefs(2.0f, 12, fs)));
    // At and above Nyquist the corner stays at 0.45 fs, where the section is
    // still a proper shelf; at fs/2 itself a pole would sit on z = -1.
    const float ceiling = 0.45f * 8000.0f;
    for (float fc : {4000.0f, 6000.0f, 8000.0f}) {
        EXPECT_TRUE(same_set(lx_high_shelf_coefs(fc, 20, 8000), lx_high_shelf_coefs(ceiling, 20, 8000)));
        EXPECT_TRUE(same_set(lx_low_shelf_coefs(fc, 20, 8000), lx_low_shelf_coefs(ceiling, 20, 8000)));
    }
    EXPECT_NEAR(response_db(lx_high_shelf_coefs(8000, 12, 8000), ceiling, 8000), 6.0, 0.02);
    EXPECT_FALSE(same_set(lx_high_shelf_coefs(3500, 20, 8000), lx_high_shelf_coefs(ceiling, 20, 8000)));
}

TEST(Designs, MidFrequencyStaysBelowNyquist)
{
    const float ceiling = 0.45f * 8000.0f;
    EXPECT_TRUE(same_set(lx_peq_coefs(4000, 12, 1, 8000), lx_peq_coefs(ceiling, 12, 1, 8000)));
    EXPECT_FALSE(same_set(lx_peq_coefs(3500, 12, 1, 8000), lx_peq_coefs(ceiling, 12, 1, 8000)));
    // The clamped design is still a proper peak at its (clamped) centre.
    EXPECT_NEAR(response_db(lx_peq_coefs(4000, 12, 1, 8000), ceiling, 8000), 12.0, 0.05);
    EXPECT_NEAR(response_db(lx_peq_coefs(4000, 12, 1, 8000), 0, 8000), 0.0, 0.001);
}

// Every design over the whole parameter range is finite and strictly stable
// at every supported rate, including those where the range reaches Nyquist.
TEST(Designs, StableAtEveryRate)
{
    for (double rate : {8000.0, 11025.0, 22050.0, 44100.0, 192000.0, 384000.0}) {
        const float r = static_cast<float>(rate);
        double worst = 0.0;
        for (float f = 200.0f; f <= 4000.0f; f *= 1.05f) {
            for (float g : {-20.0f, -6.0f, -0.025f, 0.0f, 0.01f, 6.0f, 20.0f}) {
                for (float bw : {0.5f, 1.0f, 2.0f}) {
                    const lx_coefs k = lx_peq_coefs(f, g, bw, r);
                    ASSERT_TRUE(std::isfinite(k.b0) && std::isfinite(k.b1) && std::isfinite(k.b2) &&
                                std::isfinite(k.fb1) && std::isfinite(k.fb2))
                        << f << " Hz " << g << " dB " << bw << " oct at " << rate;
                    worst = std::max(worst, pole_radius(k));
                }
            }
        }
        for (float g : {-20.0f, 0.0f, 20.0f}) {
            for (float fc : {100.0f, 200.0f})
                worst = std::max(worst, pole_radius(lx_low_shelf_coefs(fc, g, r)));
            for (float fc : {4000.0f, 8000.0f})
                worst = std::max(worst, pole_radius(lx_high_shelf_coefs(fc, g, r)));
        }
        EXPECT_LT(worst, 1.0) << rate;
    }
}

}  // namespace
