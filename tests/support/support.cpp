#include "tests/support/support.h"

#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace test_support {

namespace fs = std::filesystem;

namespace {

std::string temp_file(const char* what)
{
    std::string name = (fs::temp_directory_path() / (std::string("ze710-") + what + ".XXXXXX")).string();
    close(mkstemp(name.data()));
    return name;
}

int mask_shift(unsigned long mask)
{
    int shift = 0;
    for (; mask && !(mask & 1); mask >>= 1)
        ++shift;
    return shift;
}

int widen(unsigned long stored, int bits)
{
    int value = static_cast<int>(stored) << (8 - bits);
    for (int have = bits; have < 8; have += bits)
        value |= value >> bits;
    return value & 255;
}

std::atomic<int> client_errors{0};

int count_error(Display*, XErrorEvent*)
{
    ++client_errors;
    return 0;
}

} // namespace

std::string slurp(const std::string& path)
{
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

scratch_dir::scratch_dir() : m_path((fs::temp_directory_path() / "ze710-test.XXXXXX").string())
{
    mkdtemp(m_path.data());
}

scratch_dir::~scratch_dir()
{
    std::error_code ignored;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_path, ignored);
}

std::set<std::string> scratch_dir::list() const
{
    std::set<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(m_path))
        names.insert(e.path().filename().string());
    return names;
}

stdout_capture::stdout_capture() : m_path(temp_file("stdout"))
{
    std::fflush(stdout);
    m_saved = dup(1);
    const int fd = open(m_path.c_str(), O_WRONLY | O_TRUNC);
    dup2(fd, 1);
    close(fd);
}

std::string stdout_capture::finish()
{
    if (m_saved >= 0) {
        std::fflush(stdout);
        dup2(m_saved, 1);
        close(m_saved);
        m_saved = -1;
        m_text = slurp(m_path);
        unlink(m_path.c_str());
    }
    return m_text;
}

child::child(const std::vector<std::string>& argv) : m_out(temp_file("out")), m_err(temp_file("err"))
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, m_out.c_str(), O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, m_err.c_str(), O_WRONLY, 0);
    if (posix_spawnp(&m_pid, args[0], &files, nullptr, args.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&files);
}

child::~child()
{
    wait();
    unlink(m_out.c_str());
    unlink(m_err.c_str());
}

run_result child::wait()
{
    run_result r;
    int status = 0;
    if (m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid) {
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    m_pid = -1;
    r.out = slurp(m_out);
    r.err = slurp(m_err);
    return r;
}

std::unique_ptr<vsthost::VstPlugin> load(float rate, int block)
{
    std::string error;
    std::unique_ptr<vsthost::VstPlugin> p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    EXPECT_TRUE(p) << error;
    if (p && rate > 0.0f)
        p->start(rate, block);
    return p;
}

std::vector<float> noise(size_t n, uint32_t seed)
{
    std::vector<float> v(n);
    for (float& s : v)
        s = static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 16777216.0f - 0.5f;
    return v;
}

std::vector<float> process(vsthost::VstPlugin& p, const std::vector<float>& in_l, std::vector<float> in_r,
                           const std::vector<int>& calls, std::vector<float>* out_r)
{
    if (in_r.empty())
        in_r = in_l;
    std::vector<float> l(in_l.size()), r(in_l.size());
    for (size_t pos = 0, k = 0; pos < in_l.size(); ++k) {
        const size_t n = std::min<size_t>(static_cast<size_t>(calls[k % calls.size()]), in_l.size() - pos);
        float* ins[2] = {const_cast<float*>(&in_l[pos]), &in_r[pos]};
        float* outs[2] = {&l[pos], &r[pos]};
        p.process(ins, outs, static_cast<VstInt32>(n));
        pos += n;
    }
    if (out_r)
        *out_r = r;
    return l;
}

rgba pixel(const afx_pixbuf* pb, int x, int y)
{
    const unsigned char* p = pb->pixels + y * pb->rowstride + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

owned_pixbuf new_pixbuf(int width, int height, rgba c)
{
    owned_pixbuf pb(AFX_engine::afx_pixbuf_new_with_allocation(width, height, 0));
    for (int i = 0; i < width * height; ++i)
        std::copy_n(std::array<int, 4>{c.r, c.g, c.b, c.a}.begin(), 4, pb->pixels + 4 * i);
    return pb;
}

int quantise(int value, unsigned long mask)
{
    const int bits = __builtin_popcountl(mask);
    return widen(static_cast<unsigned long>(value) >> (8 - bits), bits);
}

std::vector<rgb> read_back(Display* dpy, Drawable drawable, int x, int y, int width, int height)
{
    std::vector<rgb> pixels;
    XImage* img = XGetImage(dpy, drawable, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
    if (!img)
        return pixels;
    const Visual* v = DefaultVisual(dpy, DefaultScreen(dpy));
    const unsigned long masks[3] = {img->red_mask ? img->red_mask : v->red_mask,
                                    img->green_mask ? img->green_mask : v->green_mask,
                                    img->blue_mask ? img->blue_mask : v->blue_mask};
    auto channel = [&](unsigned long p, int k) {
        return widen((p & masks[k]) >> mask_shift(masks[k]), __builtin_popcountl(masks[k]));
    };
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const unsigned long p = XGetPixel(img, i, j);
            pixels.push_back({channel(p, 0), channel(p, 1), channel(p, 2)});
        }
    XDestroyImage(img);
    return pixels;
}

bool write_png(const std::string& path, int width, int height, const std::vector<rgb>& pixels)
{
    std::vector<unsigned char> bytes;
    for (const rgb& p : pixels)
        bytes.insert(bytes.end(), {static_cast<unsigned char>(p.r), static_cast<unsigned char>(p.g),
                                   static_cast<unsigned char>(p.b)});
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    return bytes.size() == 3u * width * height &&
           png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), 0, nullptr);
}

bool read_png(const std::string& path, int* width, int* height, std::vector<rgb>* pixels)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr))
        return false;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    pixels->clear();
    for (size_t i = 0; i + 2 < bytes.size(); i += 3)
        pixels->push_back({bytes[i], bytes[i + 1], bytes[i + 2]});
    return true;
}

std::string compare_reference(const std::string& ref_dir, const std::string& out_dir, const std::string& name,
                              int width, int height, const std::vector<rgb>& shot)
{
    const std::string out = out_dir + "/" + name, ref = ref_dir + "/" + name;
    if (!write_png(out, width, height, shot))
        return "cannot write " + out;
    if (const char* write = std::getenv("ZE710_WRITE_REFERENCES"); write && *write == '1')
        write_png(ref, width, height, shot);
    int w = 0, h = 0;
    std::vector<rgb> reference;
    if (!read_png(ref, &w, &h, &reference) || w != width || h != height)
        return "no reference picture of that size: " + ref;
    size_t step = 0, far = 0;
    for (size_t i = 0; i < shot.size(); ++i) {
        const int d = std::max({std::abs(shot[i].r - reference[i].r), std::abs(shot[i].g - reference[i].g),
                                std::abs(shot[i].b - reference[i].b)});
        step += d > 2, far += d > 24;
    }
    if (step * 1000 <= shot.size() && far * 10000 <= shot.size())
        return "";
    return out + " differs from its reference in " + std::to_string(step) + " pixels";
}

private_xvfb::private_xvfb(const std::string& screen, const std::vector<std::string>& extra)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp",
                                     "-noreset", "-screen", "0", screen};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if ((m_pid = fork()) == 0) {
        const int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, 1), dup2(null_fd, 2);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    // The server writes its display number and a newline once it accepts clients.
    pollfd readable{fds[0], POLLIN, 0};
    char c = 0;
    while (m_pid > 0 && poll(&readable, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        m_name += c;
    close(fds[0]);
    if (m_name.empty())
        kill_now();
    else
        m_name = ":" + m_name;
}

void private_xvfb::use() const
{
    setenv("DISPLAY", m_name.c_str(), 1);
}

void private_xvfb::kill_now()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
}

// The error handler stays: errors on the plug-in's own connection go to the
// plug-in's handler, which passes only other connections' errors on.
x_client::x_client()
{
    wait_until([&] { return (m_display = XOpenDisplay(nullptr)) != nullptr; }, 3000ms);
    if (m_display)
        XSetErrorHandler(count_error);
}

x_client::~x_client()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool x_client::window_exists(Window w)
{
    XSync(m_display, False);
    const int before = client_errors;
    XWindowAttributes a;
    XGetWindowAttributes(m_display, w, &a);
    XSync(m_display, False);
    return client_errors == before;
}

bool x_client::wait_viewable(Window w)
{
    XWindowAttributes a;
    return wait_until([&] { return window_exists(w) && XGetWindowAttributes(m_display, w, &a) && a.map_state == IsViewable; });
}

bool x_client::geometry(Window w, int* x, int* y, int* width, int* height)
{
    XWindowAttributes a;
    Window child = 0;
    if (!window_exists(w) || !XGetWindowAttributes(m_display, w, &a))
        return false;
    *width = a.width, *height = a.height;
    return XTranslateCoordinates(m_display, w, a.root, 0, 0, x, y, &child);
}

std::vector<Window> x_client::children(Window w)
{
    std::vector<Window> out;
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    if (window_exists(w) && XQueryTree(m_display, w, &root, &parent, &kids, &n) && kids)
        out.assign(kids, kids + n), XFree(kids);
    XSync(m_display, False);
    return out;
}

Window x_client::host_window(int width, int height, int x, int y)
{
    const int screen = DefaultScreen(m_display);
    const Window w = XCreateSimpleWindow(m_display, RootWindow(m_display, screen), x, y, static_cast<unsigned>(width),
                                         static_cast<unsigned>(height), 0, 0, BlackPixel(m_display, screen));
    XSelectInput(m_display, w, StructureNotifyMask);
    XMapWindow(m_display, w);
    XEvent event;
    do
        XWindowEvent(m_display, w, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    XSelectInput(m_display, w, 0);
    return w;
}

void x_client::destroy(Window w)
{
    XDestroyWindow(m_display, w);
    XSync(m_display, False);
}

std::vector<rgb> x_client::capture(Window w, int x, int y, int width, int height)
{
    int wx, wy;
    if (width == 0 && !geometry(w, &wx, &wy, &width, &height))
        return {};
    std::vector<rgb> pixels = read_back(m_display, w, x, y, width, height);
    XSync(m_display, False);
    return pixels;
}

void x_client::move(int x, int y)
{
    XTestFakeMotionEvent(m_display, DefaultScreen(m_display), x, y, CurrentTime);
    XSync(m_display, False);
}

void x_client::button(unsigned button, bool down)
{
    XTestFakeButtonEvent(m_display, button, down ? True : False, CurrentTime);
    XSync(m_display, False);
}

bool open_engine(AFX_engine& engine)
{
    return wait_until([&] { return engine.open_display_connection(); }, 3000ms);
}

void sync_engine(AFX_engine& engine)
{
    engine.afx_lock_display();
    if (Display* dpy = engine.get_xdisplay())
        XSync(dpy, False);
    engine.afx_unlock_display();
}

loop_thread::loop_thread(AFX_engine& engine)
    : m_engine(engine), m_thread([this] { m_engine.run_engine(), m_returned = true; })
{
}

loop_thread::~loop_thread()
{
    m_engine.stop_engine();
    m_thread.join();
}

} // namespace test_support
