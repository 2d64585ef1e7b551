// Parameters: names, display texts at 0, 0.5, 1 and out of range, the bound
// on what is written into a host's text buffer, and the laws as they reach
// the sound: gains, corner and centre frequencies and bandwidth measured
// from the impulse response through processReplacing.
#include <cfloat>
#include <cmath>
#include <limits>

#include "plugin_harness.h"

using namespace ze710test;

class Parameters : public PluginTest {};

TEST_F(Parameters, NamesOfTheNineParameters)
{
    const char* names[] = {"HF dB", "LF dB", "Mid Hz", "Mid dB", "LF Hz",
                           "HF Hz", "Mid BW", "Effect", "UI Size"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(plugin->parameter_name(i), names[i]);
        EXPECT_LE(plugin->parameter_name(i).size() + 1, 8u);
    }
}

TEST_F(Parameters, IndicesOutsideTheTableChangeAndWriteNothing)
{
    EXPECT_EQ(plugin->get_parameter(9), 0.0f);
    EXPECT_EQ(plugin->get_parameter(-1), 0.0f);
    char text[32];
    for (VstInt32 op : {effGetParamName, effGetParamDisplay}) {
        std::memset(text, '#', sizeof text);
        dispatch(op, 9, 0, text);
        EXPECT_EQ(text[0], '#');
        dispatch(op, -1, 0, text);
        EXPECT_EQ(text[0], '#');
    }
    plugin->set_parameter(9, 0.9f);
    plugin->set_parameter(-1, 0.9f);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(plugin->get_parameter(i), i == 7 ? 1.0f : (i == 8 ? 0.0f : 0.5f)) << i;
}

TEST_F(Parameters, DisplayTextsAtZeroHalfAndOne)
{
    struct Row {
        int index;
        const char* at0;
        const char* at_half;
        const char* at1;
    };
    const Row rows[] = {
        {0, "-20.00 dB", "0.00 dB", "20.00 dB"},
        {1, "-20.00 dB", "0.00 dB", "20.00 dB"},
        {2, "200.00 Hz", "894.43 Hz", "4000.00 Hz"},
        {3, "-20.00 dB", "0.00 dB", "20.00 dB"},
        {4, "100.00 Hz", "141.42 Hz", "200.00 Hz"},
        {5, "4000.00 Hz", "5656.85 Hz", "8000.00 Hz"},
        {6, "0.50 Oct", "1.25 Oct", "2.00 Oct"},
        {7, "Out", "Out", "In "},
        {8, "X 1.00", "X 1.50", "X 2.00"},
    };
    for (const Row& row : rows) {
        plugin->set_parameter(row.index, 0.0f);
        EXPECT_EQ(display(row.index), row.at0) << row.index;
        plugin->set_parameter(row.index, 0.5f);
        EXPECT_EQ(display(row.index), row.at_half) << row.index;
        plugin->set_parameter(row.index, 1.0f);
        EXPECT_EQ(display(row.index), row.at1) << row.index;
    }
}

TEST_F(Parameters, OutOfRangeValuesAreStoredAndShownUnclamped)
{
    plugin->set_parameter(0, 1.5f);
    EXPECT_FLOAT_EQ(plugin->get_parameter(0), 1.5f);
    EXPECT_EQ(display(0), "40.00 dB");
    plugin->set_parameter(6, -1.0f);
    EXPECT_EQ(display(6), "-1.00 Oct");
    // Only "UI Size" clamps its display; the stored value stays as given.
    plugin->set_parameter(8, 1.5f);
    EXPECT_EQ(display(8), "X 2.00");
    EXPECT_FLOAT_EQ(plugin->get_parameter(8), 1.5f);
    plugin->set_parameter(8, -1.0f);
    EXPECT_EQ(display(8), "X 1.00");
}

TEST_F(Parameters, NoTextWriteExceedsTwentyFourBytes)
{
    const float extremes[] = {1e30f, -1e30f, FLT_MAX, -FLT_MAX, 1e7f,
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN()};
    for (int index = 0; index < 9; ++index)
        for (float v : extremes) {
            plugin->set_parameter(index, v);
            char text[64];
            std::memset(text, '#', sizeof text);
            dispatch(effGetParamDisplay, index, 0, text);
            const void* end = std::memchr(text, 0, 24);
            ASSERT_NE(end, nullptr) << "index " << index << " value " << v;
            for (size_t i = 24; i < sizeof text; ++i)
                ASSERT_EQ(text[i], '#') << "index " << index << " value " << v;
        }
    // An extreme gain is still readable: value and unit.
    plugin->set_parameter(1, 1e30f);
    EXPECT_EQ(display(1), "4e+31 dB");
}

TEST_F(Parameters, GainsReachTheirBandsInDecibels)
{
    // Low shelf: full gain at DC; high shelf: full gain at Nyquist; mid band:
    // full gain at its centre, where the shelves at 0 dB add nothing.
    plugin->set_parameter(1, 0.75f);  // LF +10 dB
    std::vector<float> h = impulse_response();
    EXPECT_NEAR(gain_db(h, 0.0), 10.0, 0.05);
    EXPECT_NEAR(gain_db(h, 24000.0), 0.0, 0.1);

    plugin->set_parameter(1, 0.5f);
    plugin->set_parameter(0, 0.2f);  // HF -12 dB
    h = impulse_response();
    EXPECT_NEAR(gain_db(h, 24000.0), -12.0, 0.1);
    EXPECT_NEAR(gain_db(h, 0.0), 0.0, 0.05);

    plugin->set_parameter(0, 0.5f);
    plugin->set_parameter(3, 0.95f);  // Mid +18 dB at 894.43 Hz
    h = impulse_response();
    EXPECT_NEAR(gain_db(h, 894.43), 18.0, 0.1);
    EXPECT_NEAR(gain_db(h, 0.0), 0.0, 0.05);
}

namespace {
// Frequency between lo and hi where the smooth response crosses target_db,
// by bisection on a log scale.
double crossing(const std::vector<float>& h, double lo, double hi, double target_db, double rate)
{
    const double at_lo = vsthost::magnitude_db(h, lo, rate) - target_db;
    for (int i = 0; i < 50; ++i) {
        const double mid = std::sqrt(lo * hi);
        const double v = vsthost::magnitude_db(h, mid, rate) - target_db;
        if ((v > 0) == (at_lo > 0))
            lo = mid;
        else
            hi = mid;
    }
    return std::sqrt(lo * hi);
}
}  // namespace

TEST_F(Parameters, FrequencyLawPlacesTheBands)
{
    // Shelf corners sit where the gain in dB is half the shelf gain; the law
    // is logarithmic: min * (max / min) ^ v.
    plugin->set_parameter(1, 0.8f);  // LF +12 dB
    for (float v : {0.0f, 0.3f, 1.0f}) {
        plugin->set_parameter(4, v);
        const double expected = 100.0 * std::pow(2.0, v);
        const double fc = crossing(impulse_response(), 20.0, 2000.0, 6.0, kRate);
        EXPECT_NEAR(fc / expected, 1.0, 0.02) << "LF Hz at " << v;
    }
    plugin->set_parameter(1, 0.5f);
    plugin->set_parameter(0, 0.2f);  // HF -12 dB
    for (float v : {0.0f, 0.6f, 1.0f}) {
        plugin->set_parameter(5, v);
        const double expected = 4000.0 * std::pow(2.0, v);
        const double fc = crossing(impulse_response(), 500.0, 23000.0, -6.0, kRate);
        EXPECT_NEAR(fc / expected, 1.0, 0.02) << "HF Hz at " << v;
    }
    // Mid centre: where a boost peaks.
    plugin->set_parameter(0, 0.5f);
    plugin->set_parameter(3, 0.8f);  // +12 dB
    for (float v : {0.0f, 0.25f, 0.75f}) {
        plugin->set_parameter(2, v);
        const double expected = 200.0 * std::pow(20.0, v);
        const std::vector<float> h = impulse_response();
        double best_f = 0, best = -1e9;
        for (double f = expected * 0.8; f < expected * 1.25; f *= 1.002) {
            const double g = gain_db(h, f);
            if (g > best) {
                best = g;
                best_f = f;
            }
        }
        EXPECT_NEAR(best_f / expected, 1.0, 0.01) << "Mid Hz at " << v;
        EXPECT_NEAR(best, 12.0, 0.1);
    }
}

TEST_F(Parameters, BandwidthIsTheWidthAtHalfTheBoost)
{
    plugin->set_parameter(3, 0.8f);  // +12 dB at 894.43 Hz
    for (float v : {0.0f, 0.5f, 1.0f}) {
        plugin->set_parameter(6, v);
        const std::vector<float> h = impulse_response();
        const double f0 = 894.43;
        const double lower = crossing(h, 50.0, f0, 6.0, kRate);
        const double upper = crossing(h, f0, 20000.0, 6.0, kRate);
        EXPECT_NEAR(std::log2(upper / lower), 1.5 * v + 0.5, 0.1) << "Mid BW at " << v;
    }
}
