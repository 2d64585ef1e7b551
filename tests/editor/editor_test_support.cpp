#include "tests/editor/editor_test_support.h"

#include <X11/Xatom.h>
#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace editor_test {

namespace {

std::unique_ptr<output_test::xvfb_server> server;
std::string server_name;

int count_errors(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

void private_display::SetUp()
{
    server = std::make_unique<output_test::xvfb_server>("1000x2100x24");
    ASSERT_TRUE(server->running()) << "Xvfb did not start";
    server_name = server->display_name();
    setenv("DISPLAY", server_name.c_str(), 1);
}

void private_display::TearDown()
{
    server.reset();
}

const std::string& private_display::name()
{
    return server_name;
}

x_client::x_client()
{
    m_dpy = XOpenDisplay(nullptr);
}

x_client::~x_client()
{
    if (m_dpy)
        XCloseDisplay(m_dpy);
}

Window x_client::make_host_window(int width, int height)
{
    const int screen = DefaultScreen(m_dpy);
    Window w = XCreateSimpleWindow(m_dpy, RootWindow(m_dpy, screen), 0, 0,
                                   static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                   BlackPixel(m_dpy, screen), BlackPixel(m_dpy, screen));
    XSelectInput(m_dpy, w, StructureNotifyMask);
    XMapWindow(m_dpy, w);
    for (;;) {
        XEvent event;
        XNextEvent(m_dpy, &event);
        if (event.type == MapNotify && event.xmap.window == w)
            break;
    }
    XSelectInput(m_dpy, w, 0);
    return w;
}

void x_client::destroy(Window w)
{
    XDestroyWindow(m_dpy, w);
    XSync(m_dpy, False);
}

std::vector<Window> x_client::children(Window w)
{
    std::vector<Window> out;
    XErrorHandler old = XSetErrorHandler(count_errors);
    Window root = 0, parent = 0;
    Window* kids = nullptr;
    unsigned n = 0;
    if (XQueryTree(m_dpy, w, &root, &parent, &kids, &n) && kids) {
        out.assign(kids, kids + n);
        XFree(kids);
    }
    XSync(m_dpy, False);
    XSetErrorHandler(old);
    return out;
}

std::vector<Window> x_client::top_levels_of_class(const std::string& cls)
{
    std::vector<Window> out;
    for (Window w : children(DefaultRootWindow(m_dpy))) {
        const std::string c = wm_class(w);
        if (c.size() > cls.size() && c.compare(c.size() - cls.size(), cls.size(), cls) == 0)
            out.push_back(w);
    }
    return out;
}

std::string x_client::wm_class(Window w)
{
    XClassHint hint{};
    std::string out;
    if (XGetClassHint(m_dpy, w, &hint)) {
        out = std::string(hint.res_name ? hint.res_name : "") + "/" +
              (hint.res_class ? hint.res_class : "");
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return out;
}

std::string x_client::wm_name(Window w)
{
    char* name = nullptr;
    std::string out;
    if (XFetchName(m_dpy, w, &name) && name) {
        out = name;
        XFree(name);
    }
    return out;
}

std::string x_client::net_wm_name(Window w)
{
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(m_dpy, w, XInternAtom(m_dpy, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(m_dpy, "UTF8_STRING", False), &type, &format, &n, &after,
                           &data) == Success &&
        data) {
        out.assign(reinterpret_cast<char*>(data), n);
        XFree(data);
    }
    return out;
}

std::string x_client::window_type(Window w)
{
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(m_dpy, w, XInternAtom(m_dpy, "_NET_WM_WINDOW_TYPE", False), 0, 16,
                           False, XA_ATOM, &type, &format, &n, &after, &data) == Success &&
        data) {
        if (n > 0) {
            char* name = XGetAtomName(m_dpy, reinterpret_cast<Atom*>(data)[0]);
            if (name) {
                out = name;
                XFree(name);
            }
        }
        XFree(data);
    }
    return out;
}

bool x_client::viewable(Window w)
{
    XWindowAttributes attr{};
    XErrorHandler old = XSetErrorHandler(count_errors);
    const bool ok = XGetWindowAttributes(m_dpy, w, &attr);
    XSync(m_dpy, False);
    XSetErrorHandler(old);
    return ok && attr.map_state == IsViewable;
}

bool x_client::geometry(Window w, int* x, int* y, int* width, int* height)
{
    XWindowAttributes attr{};
    if (!XGetWindowAttributes(m_dpy, w, &attr))
        return false;
    *x = attr.x;
    *y = attr.y;
    *width = attr.width;
    *height = attr.height;
    return true;
}

std::vector<rgb> x_client::capture(Window w, int x, int y, int width, int height)
{
    return output_test::read_back(m_dpy, w, x, y, width, height);
}

std::vector<rgb> x_client::capture(Window w)
{
    int x, y, width, height;
    if (!geometry(w, &x, &y, &width, &height))
        return {};
    return capture(w, 0, 0, width, height);
}

double differing_fraction(const std::vector<rgb>& a, const std::vector<rgb>& b, int tolerance)
{
    if (a.size() != b.size() || a.empty())
        return 1.0;
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::abs(a[i].r - b[i].r) > tolerance || std::abs(a[i].g - b[i].g) > tolerance ||
            std::abs(a[i].b - b[i].b) > tolerance)
            ++differing;
    return static_cast<double>(differing) / static_cast<double>(a.size());
}

bool same_pixels(const std::vector<rgb>& a, const std::vector<rgb>& b)
{
    return !a.empty() && a == b;
}

bool read_png(const std::string& path, int* width, int* height, std::vector<rgb>* pixels)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    const int w = static_cast<int>(png_get_image_width(png, info));
    const int h = static_cast<int>(png_get_image_height(png, info));
    const int type = png_get_color_type(png, info);
    if (png_get_bit_depth(png, info) != 8 ||
        (type != PNG_COLOR_TYPE_RGB && type != PNG_COLOR_TYPE_RGBA)) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    const int channels = type == PNG_COLOR_TYPE_RGBA ? 4 : 3;
    std::vector<png_byte> row(static_cast<size_t>(w) * channels);
    pixels->assign(static_cast<size_t>(w) * h, rgb{0, 0, 0});
    for (int y = 0; y < h; ++y) {
        png_read_row(png, row.data(), nullptr);
        for (int x = 0; x < w; ++x)
            (*pixels)[static_cast<size_t>(y) * w + x] = {row[channels * x], row[channels * x + 1],
                                                         row[channels * x + 2]};
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    *width = w;
    *height = h;
    return true;
}

stdout_capture::stdout_capture()
{
    std::fflush(stdout);
    char templ[] = "/tmp/ze710-editor-stdout.XXXXXX";
    const int fd = mkstemp(templ);
    m_path = templ;
    m_saved_fd = dup(1);
    dup2(fd, 1);
    close(fd);
}

stdout_capture::~stdout_capture()
{
    finish();
}

std::string stdout_capture::finish()
{
    if (m_done)
        return {};
    m_done = true;
    std::fflush(stdout);
    dup2(m_saved_fd, 1);
    close(m_saved_fd);
    std::ifstream in(m_path);
    std::stringstream ss;
    ss << in.rdbuf();
    unlink(m_path.c_str());
    return ss.str();
}

int count_lines(const std::string& text, const std::string& line)
{
    int n = 0;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l))
        n += l == line;
    return n;
}

int thread_count()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

} // namespace editor_test
