#pragma once
// Helpers for the display-output tests: a private Xvfb of any depth and
// resolution, reading pixels back from the server, the expansion of a stored
// pixel to 8-bit channels written from the visual's masks alone, and PNG
// specimens for a person to look at.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>
#include <vector>

namespace output_test {

// A private X server on a free display number (Xvfb -displayfd), killed on
// destruction. `screen` is WxHxD; extra arguments follow (e.g. "-dpi", "144").
class xvfb_server {
public:
    explicit xvfb_server(const std::string& screen, const std::vector<std::string>& extra = {});
    ~xvfb_server();
    xvfb_server(const xvfb_server&) = delete;
    xvfb_server& operator=(const xvfb_server&) = delete;
    bool running() const { return m_pid > 0; }
    const std::string& display_name() const { return m_name; }

private:
    int m_pid = -1;
    std::string m_name;
};

// 8-bit red, green, blue.
struct rgb {
    int r, g, b;
    bool operator==(const rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// Channel value as stored by a mask of n bits and read back with its high
// bits repeated in the low ones (n = 8 keeps it).
int quantise(int value, unsigned long mask);
// Stored pixel to 8-bit channels by bit repetition from the masks.
rgb expand(unsigned long pixel, unsigned long red_mask, unsigned long green_mask,
           unsigned long blue_mask);

// The pixels of a drawable's rectangle as the server holds them, expanded.
std::vector<rgb> read_back(Display* dpy, Drawable drawable, int x, int y, int width, int height);

// Writes 8-bit RGB rows (3 bytes a pixel) as a PNG; false on failure.
bool write_png(const std::string& path, int width, int height, const std::vector<rgb>& pixels);

// Where specimens go: the build folder's test output directory.
std::string specimen_path(const std::string& file_name);

} // namespace output_test
