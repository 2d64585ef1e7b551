// From pixel buffers to the screen: the Catmull-Rom kernel against the
// continuous cubic and the fast resampler against the plain one, buffers put
// on servers of depth 24, 16 and 15 and read back (copy, blend, resample),
// the bitmap font's glyphs and decoding, and the scale from the screen's
// resolution.
#include "tests/support/support.h"

#include "gui_engine/AFX_font_engine.h"
#include "gui_engine/afx_catrom.h"

#include <clocale>
#include <cmath>
#include <random>

using namespace test_support;

namespace {

// A source buffer of random pixels that owns its memory.
struct source {
    std::vector<unsigned char> bytes;
    afx_pixbuf pb;
    source(int w, int h, unsigned seed) : bytes(static_cast<size_t>(w) * h * 4), pb{w, h, 4 * w, nullptr, -1}
    {
        std::mt19937 rng(seed);
        for (unsigned char& b : bytes)
            b = static_cast<unsigned char>(rng());
        pb.pixels = bytes.data();
    }
};

// Resampler output in memory, -1 where nothing was written.
struct canvas {
    int width;
    std::vector<int> rgb;
    canvas(int w, int h) : width(w), rgb(static_cast<size_t>(w) * h * 3, -1) {}
    static void sink(void* context, int y, int x, int count, const unsigned char* bytes)
    {
        canvas& c = *static_cast<canvas*>(context);
        std::copy(bytes, bytes + 3 * count, c.rgb.begin() + (static_cast<long>(y) * c.width + x) * 3);
    }
};

TEST(CatmullRom, KernelFollowsTheCubicWithUnitGain)
{
    for (int t = 0; t < 512; ++t) {
        const double x = t / 256.0, cubic = x < 1 ? 1.5 * x * x * x - 2.5 * x * x + 1 : -0.5 * x * x * x + 2.5 * x * x - 4 * x + 2;
        EXPECT_NEAR(afx_catrom_weight(t), 256.0 * cubic, 3.0) << t;
    }
    for (int f = 0; f < 256; ++f) {
        const int sum = afx_catrom_weight(256 + f) + afx_catrom_weight(f) + afx_catrom_weight(256 - f) + afx_catrom_weight(512 - f);
        EXPECT_TRUE(sum >= 250 && sum <= 262) << f;
    }
}

// Over random geometries and scales (also nothing to draw, and areas beyond
// the image, the source and the origin) both resamplers write the same pixels.
TEST(CatmullRom, FastPathEqualsThePlainOne)
{
    std::mt19937 rng(42);
    auto pick = [&rng](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
    const float scales[] = {1.0f, 1.125f, 1.25f, 1.5f, 1.875f, 2.0f, 3.0f, 0.75f, 0.5f, 0.0f, NAN};
    long pixels = 0;
    for (int run = 0; run < 400; ++run) {
        const source s(pick(1, 40), pick(1, 40), static_cast<unsigned>(run));
        const int w = pick(1, 90), h = pick(1, 90), x = pick(-10, w / 2), y = pick(-10, h / 2), rw = pick(-2, w + 10),
                  rh = pick(-2, h + 10), ox = pick(-20, w / 2), oy = pick(-20, h / 2);
        const float scale = scales[run % 11];
        canvas fast(w, h), plain(w, h);
        ASSERT_EQ(afx_catrom_resample(&s.pb, w, h, x, y, rw, rh, ox, oy, scale, canvas::sink, &fast),
                  afx_catrom_resample_plain(&s.pb, w, h, x, y, rw, rh, ox, oy, scale, canvas::sink, &plain));
        ASSERT_EQ(fast.rgb, plain.rgb) << "run " << run;
        pixels += std::count_if(fast.rgb.begin(), fast.rgb.end(), [](int v) { return v >= 0; });
    }
    EXPECT_GT(pixels, 50000) << "the geometries must mostly draw";
}

// On each depth: a copy through the visual's masks, clipped to buffer and
// image; an alpha blend that skips pixels under alpha 16; and a resampled
// image as the resampler draws it in memory (at scale 1, the source itself).
TEST(DisplayFormats, BuffersReachTheServerInEveryDepth)
{
    for (int depth : {24, 16, 15}) {
        private_xvfb server("320x240x" + std::to_string(depth));
        server.use();
        AFX_engine engine;
        x_client client;
        ASSERT_TRUE(open_engine(engine));
        const Visual* v = DefaultVisual(client.display(), 0);
        auto stored = [&](int r, int g, int b) { return rgb{quantise(r, v->red_mask), quantise(g, v->green_mask), quantise(b, v->blue_mask)}; };
        auto on_server = [&](_XImage* img) {
            const Pixmap pm = XCreatePixmap(client.display(), DefaultRootWindow(client.display()), 80, 50, depth);
            XSync(client.display(), False);
            engine.afx_draw_drawable(static_cast<int>(pm), img, 0, 0, 0, 0, 80, 50);
            sync_engine(engine);
            std::vector<rgb> back = read_back(client.display(), pm, 0, 0, 80, 50);
            XFreePixmap(client.display(), pm);
            return back;
        };
        const source src(64, 40, 3), overlay(64, 40, 4);
        _XImage* img = engine.afx_pixmap_create_fixed(80, 50);
        engine.afx_blit_pixbuf_fixed(img, const_cast<afx_pixbuf*>(&src.pb), -5, 2, 10, 5, 100, 30);
        engine.afx_draw_pixbuf_fixed(img, const_cast<afx_pixbuf*>(&overlay.pb), 0, 0, 0, 20, 64, 40);
        std::vector<rgb> back = on_server(img);
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 80; ++x) {
                const bool copied = x >= 15 && x < 79 && y >= 5 && y < 35;
                const unsigned char* s = &src.bytes[((y - 5 + 2) * 64 + x - 15) * 4];
                rgb want = copied ? stored(s[0], s[1], s[2]) : rgb{0, 0, 0};
                const unsigned char* o = &overlay.bytes[((y - 20) * 64 + x) * 4];
                auto mix = [&](int d, int c) { return d + static_cast<int>(std::floor((c - d) * o[3] / 256.0)); };
                if (y >= 20 && x < 64 && o[3] >= 16)
                    want = stored(mix(want.r, o[0]), mix(want.g, o[1]), mix(want.b, o[2]));
                ASSERT_EQ(back[y * 80 + x], want) << "depth " << depth << " at " << x << "," << y;
            }
        for (float scale : {2.0f, 1.5f, 1.0f}) {
            _XImage* resampled = engine.afx_pixmap_create_fixed(80, 50);
            engine.afx_stretch_blit_pixbuf_CATROM2(const_cast<afx_pixbuf*>(&src.pb), resampled, 0, 0, 80, 50, 3, 2, scale);
            canvas memory(80, 50);
            afx_catrom_resample(&src.pb, 80, 50, 0, 0, 80, 50, 3, 2, scale, canvas::sink, &memory);
            back = on_server(resampled);
            for (size_t i = 0; i < back.size(); ++i) {
                const int* m = &memory.rgb[i * 3];
                const unsigned char* s = &src.bytes[((i / 80 - 2) * 64 + i % 80 - 3) * 4];
                const rgb want = m[0] < 0 ? rgb{0, 0, 0} : scale == 1.0f ? stored(s[0], s[1], s[2]) : stored(m[0], m[1], m[2]);
                ASSERT_TRUE(back[i] == want && (m[0] < 0 || stored(m[0], m[1], m[2]) == want)) << depth << " " << scale << " " << i;
            }
            engine.afx_pixmap_destroy(resampled);
        }
        engine.afx_pixmap_destroy(img);
    }
}

// Ink of a buffer: left, top, right, bottom (inclusive); right < 0 when none.
std::array<int, 4> ink(const afx_pixbuf* pb)
{
    std::array<int, 4> box{1 << 20, 1 << 20, -1, -1};
    for (int y = 0; y < pb->height; ++y)
        for (int x = 0; x < pb->width; ++x)
            if (pixel(pb, x, y).r)
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
    return box;
}

std::vector<unsigned char> bytes(const afx_pixbuf* pb)
{
    return std::vector<unsigned char>(pb->pixels, pb->pixels + pb->rowstride * pb->height);
}

std::unique_ptr<AFX_font_engine> font_in(const char* locale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, locale);
    auto font = std::make_unique<AFX_font_engine>(nullptr);
    std::setlocale(LC_ALL, previous.c_str());
    font->set_foreground_rgb(255, 255, 255);
    return font;
}

// Telling glyphs leave their ink where the layout expects it, and UTF-8
// decoding follows the locale's character set (the banner test shows the
// ellipsis, the editor's screenshots the text).
TEST(Font, GlyphsAndDecoding)
{
    auto font = font_in("C");
    const int rows[][6] = {{'.', 2, 2, 3, 1, 2},  {'0', 7, 10, 7, 0, 9}, {'A', 8, 9, 7, 0, 9},  {'J', 4, 12, 3, -1, 9},
                           {'_', 7, 1, 5, -1, -2}, {'g', 6, 10, 7, 0, 7}, {'m', 10, 7, 11, 0, 7}, {176, 4, 4, 5, 1, 9},
                           {1, 5, 12, 6, 0, 9}};  // code, width, rows, advance, x offset, rows above the baseline
    for (const auto& r : rows) {
        owned_pixbuf b = new_pixbuf(40, 40, {0, 0, 0, 255});
        font->draw_glyph(b.get(), static_cast<unsigned>(r[0]), 10, 20);
        const std::array<int, 4> box = ink(b.get());
        const char text[2] = {static_cast<char>(r[0]), 0};
        EXPECT_EQ((std::array<int, 5>{box[2] - box[0] + 1, box[3] - box[1] + 1, font->get_string_length_in_pxls(text),
                                      box[0] - 10, 20 - box[1]}),
                  (std::array<int, 5>{r[1], r[2], r[3], r[4], r[5]})) << "code " << r[0];
    }
    auto utf8 = font_in("C.UTF-8");
    ASSERT_TRUE(utf8->is_utf8() && !font->is_utf8());
    const struct {
        AFX_font_engine* font;
        const char *text, *as_codes;
    } decoded[] = {{utf8.get(), "\xC3\xA9", "\xE9"}, {font.get(), "\xC3\xA9", "\xC3\xA9"}, {utf8.get(), "\xC5\x81", "A"},
                   {utf8.get(), "\xC3", "\x03"}};
    for (const auto& d : decoded) {
        owned_pixbuf drawn = new_pixbuf(60, 30, {0, 0, 0, 255}), expected = new_pixbuf(60, 30, {0, 0, 0, 255});
        d.font->draw_string(drawn.get(), d.text, 4, 20, 10);
        for (int x = 4, i = 0; d.as_codes[i]; x += font->get_string_length_in_pxls(std::string(1, d.as_codes[i++]).c_str()))
            font->draw_glyph(expected.get(), static_cast<unsigned char>(d.as_codes[i]), x, 20);
        EXPECT_EQ(bytes(drawn.get()), bytes(expected.get())) << d.text;
    }
}

// The scale in eighths between 1 and 2: from ZOKA_UI_DPI when set, else from
// the screen's resolution, told once in two lines (then cached); 1 and
// nothing told without a display.
TEST(ScaleFactor, FromTheSettingOrTheScreen)
{
    const struct {
        const char* setting;
        float scale;
    } rows[] = {{"72", 1.0f}, {"110", 1.125f}, {"150", 1.5f}, {"191", 1.875f}, {"300", 2.0f}, {"abc", 1.0f},
                {"", 2.0f},   {"", 1.25f},     {"", 1.625f}};
    std::unique_ptr<private_xvfb> server;
    for (const auto& r : rows) {
        const char* screen_dpi = &r - rows < 7 ? "200" : r.scale < 1.5f ? "130" : "160";
        if (!server || &r - rows >= 7)
            server = std::make_unique<private_xvfb>("1280x1024x24", std::vector<std::string>{"-dpi", screen_dpi}), server->use();
        *r.setting ? setenv("ZOKA_UI_DPI", r.setting, 1) : unsetenv("ZOKA_UI_DPI");
        AFX_engine engine;
        stdout_capture out;
        EXPECT_EQ(engine.get_optimum_scale_factor(), r.scale) << r.setting << " " << screen_dpi;
        setenv("ZOKA_UI_DPI", "96", 1);
        EXPECT_EQ(engine.get_optimum_scale_factor(), r.scale) << "cached";
        char scale[64];
        std::snprintf(scale, sizeof scale, "ZOKA-UI: UI scale %.1f %%\n", 100.0 * r.scale);
        const std::string told = out.finish();
        EXPECT_TRUE(told.rfind("ZOKA-UI: UI dpi ", 0) == 0 && told.find(scale) == told.find('\n') + 1) << told;
    }
    unsetenv("ZOKA_UI_DPI");
    setenv("DISPLAY", ":9999", 1);
    stdout_capture out;
    EXPECT_EQ(AFX_engine().get_optimum_scale_factor(), 1.0f);
    EXPECT_EQ(out.finish(), "");
}

} // namespace
