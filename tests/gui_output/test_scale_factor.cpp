// The user-interface scale chosen from the screen's resolution: from
// "ZOKA_UI_DPI" when set, else from the diagonal of a private Xvfb started
// with -dpi; its two messages, the cache, and the fallback without a display.

#include <gtest/gtest.h>

#include "gui_engine/AFX_engine.h"
#include "tests/gui_output/output_test_support.h"

#include <cstdlib>
#include <string>

namespace {

using output_test::xvfb_server;

struct dpi_case {
    const char* setting;
    float scale;
    const char* messages;
};

TEST(ScaleFactor, FollowsZokaUiDpiInEighthsBetweenOneAndTwo)
{
    const dpi_case cases[] = {
        {"72", 1.0f, "ZOKA-UI: UI dpi 72\nZOKA-UI: UI scale 100.0 %\n"},
        {"96", 1.0f, "ZOKA-UI: UI dpi 96\nZOKA-UI: UI scale 100.0 %\n"},
        {"110", 1.125f, "ZOKA-UI: UI dpi 110\nZOKA-UI: UI scale 112.5 %\n"},
        {"120", 1.25f, "ZOKA-UI: UI dpi 120\nZOKA-UI: UI scale 125.0 %\n"},
        {"150", 1.5f, "ZOKA-UI: UI dpi 150\nZOKA-UI: UI scale 150.0 %\n"},
        {"191", 1.875f, "ZOKA-UI: UI dpi 191\nZOKA-UI: UI scale 187.5 %\n"},
        {"300", 2.0f, "ZOKA-UI: UI dpi 300\nZOKA-UI: UI scale 200.0 %\n"},
        {"abc", 1.0f, "ZOKA-UI: UI dpi 0\nZOKA-UI: UI scale 100.0 %\n"},
        {"-40", 1.0f, "ZOKA-UI: UI dpi -40\nZOKA-UI: UI scale 100.0 %\n"},
    };
    xvfb_server server("640x480x24", {"-dpi", "200"});  // the screen's own answer would be 2.0
    ASSERT_TRUE(server.running());
    setenv("DISPLAY", server.display_name().c_str(), 1);
    for (const dpi_case& c : cases) {
        setenv("ZOKA_UI_DPI", c.setting, 1);
        AFX_engine engine;  // a fresh cache
        testing::internal::CaptureStdout();
        EXPECT_EQ(engine.get_optimum_scale_factor(), c.scale) << c.setting;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.messages);
        // Cached: a changed setting and a second call print nothing.
        setenv("ZOKA_UI_DPI", "300", 1);
        testing::internal::CaptureStdout();
        EXPECT_EQ(engine.get_optimum_scale_factor(), c.scale) << c.setting;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }
    unsetenv("ZOKA_UI_DPI");
}

TEST(ScaleFactor, FollowsTheScreensResolution)
{
    unsetenv("ZOKA_UI_DPI");
    const dpi_case cases[] = {{"72", 1.0f, ""}, {"130", 1.25f, ""}, {"160", 1.625f, ""}, {"200", 2.0f, ""}};
    for (const dpi_case& c : cases) {
        xvfb_server server("1280x1024x24", {"-dpi", c.setting});
        ASSERT_TRUE(server.running());
        setenv("DISPLAY", server.display_name().c_str(), 1);
        AFX_engine engine;
        testing::internal::CaptureStdout();
        EXPECT_EQ(engine.get_optimum_scale_factor(), c.scale) << "dpi " << c.setting;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("ZOKA-UI: UI scale"), std::string::npos);

        // get_dpi needs the engine's own connection; it reports the screens.
        int vertical = -1, horizontal = -1;
        EXPECT_EQ(engine.get_dpi(&vertical, &horizontal), 0);
        EXPECT_EQ(vertical, -1);
        ASSERT_TRUE(engine.open_display_connection());
        EXPECT_EQ(engine.get_dpi(&vertical, &horizontal), 1);
        const int dpi = std::atoi(c.setting);
        EXPECT_NEAR(vertical, dpi, 1) << "dpi " << c.setting;
        EXPECT_NEAR(horizontal, dpi, 1) << "dpi " << c.setting;
        engine.close_display_connection();
    }
}

TEST(ScaleFactor, WithoutADisplayIsOneAndSilent)
{
    unsetenv("ZOKA_UI_DPI");
    setenv("DISPLAY", ":9999", 1);
    AFX_engine engine;
    testing::internal::CaptureStdout();
    EXPECT_EQ(engine.get_optimum_scale_factor(), 1.0f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
