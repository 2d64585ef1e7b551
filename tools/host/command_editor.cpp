// ze710-host editor: opens the plug-in's editor the way a DAW does. A
// top-level X window of the size effEditGetRect reports is created and
// mapped, and its id goes to effEditOpen; the host follows the plug-in's
// size requests, prints the automation, begin-edit and end-edit calls as
// they arrive, and closes the editor when the window is closed or the time
// limit runs out, optionally saving a screenshot of the window first.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "tools/host/commands.h"
#include "tools/host/files.h"
#include "tools/host/vst_host.h"

namespace vsthost {

namespace {

constexpr useconds_t kPollUs = 10000;  // event and host-call polling, 10 ms

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

// Writes the window's current contents (its child windows included) as an
// 8-bit RGB PNG. Throws on failure.
void save_screenshot(Display* dpy, Window window, const std::string& path)
{
    XWindowAttributes attr;
    if (!XGetWindowAttributes(dpy, window, &attr))
        throw HostError("cannot read the window for the screenshot");
    // A window that is not wholly on the screen cannot be read (BadMatch):
    // the error is trapped and told in one line.
    XSync(dpy, False);
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XImage* image = XGetImage(dpy, window, 0, 0, static_cast<unsigned>(attr.width),
                              static_cast<unsigned>(attr.height), AllPlanes, ZPixmap);
    XSync(dpy, False);
    XSetErrorHandler(previous);
    if (!image)
        throw HostError("cannot read the window's pixels for the screenshot (is it wholly on the screen?)");
    struct ImageDestroyer {
        void operator()(XImage* i) const { XDestroyImage(i); }
    };
    std::unique_ptr<XImage, ImageDestroyer> guard(image);

    // Channel from the visual's mask, widened to 8 bits by repeating its bits.
    auto channel = [](unsigned long pixel, unsigned long mask) {
        if (!mask)
            return 0;
        int shift = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        int bits = 0;
        while (((mask >> shift) >> bits) & 1)
            ++bits;
        const unsigned v = static_cast<unsigned>((pixel & mask) >> shift);
        if (bits >= 8)
            return static_cast<int>(v >> (bits - 8));
        unsigned out = 0;
        int filled = 0;
        for (; filled < 8; filled += bits)
            out = (out << bits) | v;
        return static_cast<int>(out >> (filled - 8));
    };

    // Encoded in memory first, then written under a temporary name: a
    // failed write leaves an earlier picture of the same name as it was.
    // libpng's own messages stay quiet; the one line is ours.
    std::string encoded;
    png_structp png = png_create_write_struct(
        PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
        [](png_structp, png_const_charp) {});
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw HostError("cannot write " + path + ": the picture could not be encoded");
    }
    png_set_write_fn(
        png, &encoded,
        [](png_structp p, png_bytep data, png_size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(attr.width), static_cast<png_uint_32>(attr.height),
                 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(attr.width) * 3);
    for (int y = 0; y < attr.height; ++y) {
        for (int x = 0; x < attr.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            row[3 * x] = static_cast<png_byte>(channel(p, image->red_mask));
            row[3 * x + 1] = static_cast<png_byte>(channel(p, image->green_mask));
            row[3 * x + 2] = static_cast<png_byte>(channel(p, image->blue_mask));
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    OutputFile out(path);
    out.write_all(encoded);
    out.commit();
}

// Prints the calls recorded since the last call; returns the new count.
// A size request also resizes the host's window, as a DAW does.
size_t report_calls(VstPlugin& plugin, size_t shown, Display* dpy, Window window)
{
    const std::vector<HostCall> calls = plugin.recorder().calls();
    for (size_t i = shown; i < calls.size(); ++i) {
        const HostCall& c = calls[i];
        switch (c.opcode) {
        case audioMasterAutomate:
            std::printf("automate %d %.6f\n", c.index, static_cast<double>(c.opt));
            break;
        case audioMasterBeginEdit:
            std::printf("begin-edit %d\n", c.index);
            break;
        case audioMasterEndEdit:
            std::printf("end-edit %d\n", c.index);
            break;
        case audioMasterSizeWindow:
            std::printf("size-window %d %ld\n", c.index, static_cast<long>(c.value));
            if (c.index > 0 && c.value > 0)
                XResizeWindow(dpy, window, static_cast<unsigned>(c.index),
                              static_cast<unsigned>(c.value));
            break;
        default:
            break;
        }
    }
    std::fflush(stdout);
    return calls.size();
}

}  // namespace

int command_editor(const std::string& path, const Options& opt)
{
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display)
        throw HostError("no X display (DISPLAY is not set or its server cannot be reached); "
                        "the editor needs one");
    Display* dpy = display.get();

    std::string error;
    std::unique_ptr<VstPlugin> plugin = VstPlugin::load(path, &error);
    if (!plugin)
        throw HostError(error);
    if (!(plugin->effect()->flags & effFlagsHasEditor))
        throw HostError(path + " has no editor");
    apply_settings(*plugin, opt);
    plugin->start(static_cast<float>(opt.rate), opt.block);

    ERect* rect = nullptr;
    plugin->dispatch(effEditGetRect, 0, 0, &rect);
    int width = rect ? rect->right - rect->left : 0;
    int height = rect ? rect->bottom - rect->top : 0;
    if (width <= 0 || height <= 0)
        throw HostError("the plug-in reports no editor size");

    const int screen = DefaultScreen(dpy);
    Window window = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, 0,
                                        static_cast<unsigned>(width), static_cast<unsigned>(height),
                                        0, BlackPixel(dpy, screen), BlackPixel(dpy, screen));
    const std::string title = "ze710-host: " + plugin->effect_name();
    XStoreName(dpy, window, title.c_str());
    Atom wm_delete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy, window, &wm_delete, 1);
    XSelectInput(dpy, window, StructureNotifyMask);
    XMapWindow(dpy, window);
    for (;;) {  // a DAW opens the editor into a window that is on the screen
        XEvent event;
        XNextEvent(dpy, &event);
        if (event.type == MapNotify)
            break;
    }
    std::printf("editor %d x %d in window 0x%lx\n", width, height, static_cast<unsigned long>(window));
    std::fflush(stdout);

    plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(window));

    const auto start = std::chrono::steady_clock::now();
    size_t shown = 0;
    bool window_gone = false;
    for (;;) {
        shown = report_calls(*plugin, shown, dpy, window);
        bool closing = false;
        while (XPending(dpy)) {
            XEvent event;
            XNextEvent(dpy, &event);
            if (event.type == ClientMessage &&
                static_cast<Atom>(event.xclient.data.l[0]) == wm_delete)
                closing = true;
            if (event.type == DestroyNotify && event.xdestroywindow.window == window)
                closing = window_gone = true;
        }
        if (opt.editor_seconds > 0.0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >=
                opt.editor_seconds)
            closing = true;
        if (closing)
            break;
        plugin->dispatch(effEditIdle);
        usleep(kPollUs);
    }

    if (!opt.screenshot.empty() && !window_gone) {
        XSync(dpy, False);
        save_screenshot(dpy, window, opt.screenshot);
        std::printf("screenshot %s\n", opt.screenshot.c_str());
    }
    plugin->dispatch(effEditClose);
    report_calls(*plugin, shown, dpy, window);
    plugin.reset();  // effClose, then the module is unloaded
    if (!window_gone)
        XDestroyWindow(dpy, window);
    XSync(dpy, False);
    std::printf("editor closed\n");
    return 0;
}

}  // namespace vsthost
