#include "tests/gui_output/output_test_support.h"

#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace output_test {

xvfb_server::xvfb_server(const std::string& screen, const std::vector<std::string>& extra)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        const std::string fd_text = std::to_string(fds[1]);
        std::vector<std::string> args = {"Xvfb", "-displayfd", fd_text, "-nolisten", "tcp", "-noreset",
                                         "-screen", "0", screen};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return;
    }
    m_pid = pid;
    // The server writes its display number and a newline once it accepts clients.
    std::string number;
    pollfd readable{fds[0], POLLIN, 0};
    while (poll(&readable, 1, 10000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return;
    }
    m_name = ":" + number;
}

xvfb_server::~xvfb_server()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}

namespace {

int mask_shift(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int mask_bits(unsigned long mask)
{
    int bits = 0;
    for (; mask; mask >>= 1)
        bits += static_cast<int>(mask & 1);
    return bits;
}

int widen(unsigned long stored, int bits)
{
    int value = static_cast<int>(stored) << (8 - bits);
    for (int have = bits; have < 8; have += bits)
        value |= value >> bits;
    return value & 255;
}

} // namespace

int quantise(int value, unsigned long mask)
{
    const int bits = mask_bits(mask);
    return widen(static_cast<unsigned long>(value) >> (8 - bits), bits);
}

rgb expand(unsigned long pixel, unsigned long red_mask, unsigned long green_mask,
           unsigned long blue_mask)
{
    auto channel = [pixel](unsigned long mask) {
        return widen((pixel & mask) >> mask_shift(mask), mask_bits(mask));
    };
    return {channel(red_mask), channel(green_mask), channel(blue_mask)};
}

std::vector<rgb> read_back(Display* dpy, Drawable drawable, int x, int y, int width, int height)
{
    std::vector<rgb> pixels;
    XImage* img = XGetImage(dpy, drawable, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!img)
        return pixels;
    // XGetImage on a pixmap or window of the root depth: take the masks from
    // the default visual when the image carries none.
    Visual* visual = DefaultVisual(dpy, DefaultScreen(dpy));
    const unsigned long rm = img->red_mask ? img->red_mask : visual->red_mask;
    const unsigned long gm = img->green_mask ? img->green_mask : visual->green_mask;
    const unsigned long bm = img->blue_mask ? img->blue_mask : visual->blue_mask;
    pixels.reserve(static_cast<size_t>(width) * height);
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            pixels.push_back(expand(XGetPixel(img, i, j), rm, gm, bm));
    XDestroyImage(img);
    return pixels;
}

bool write_png(const std::string& path, int width, int height, const std::vector<rgb>& pixels)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            const rgb& p = pixels[static_cast<size_t>(j) * width + i];
            row[3 * i] = static_cast<png_byte>(p.r);
            row[3 * i + 1] = static_cast<png_byte>(p.g);
            row[3 * i + 2] = static_cast<png_byte>(p.b);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return true;
}

std::string specimen_path(const std::string& file_name)
{
    return std::string(ZE710_SPECIMEN_DIR) + "/" + file_name;
}

} // namespace output_test
