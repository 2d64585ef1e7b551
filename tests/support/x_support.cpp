#include "tests/support/x_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

namespace {

std::atomic<int> client_errors{0};

int count_error(Display*, XErrorEvent*)
{
    ++client_errors;
    return 0;
}

} // namespace

private_xvfb::private_xvfb(const std::string& screen, const std::vector<std::string>& extra)
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
        std::vector<std::string> args = {"Xvfb",     "-displayfd", std::to_string(fds[1]),
                                         "-nolisten", "tcp",       "-noreset",
                                         "-screen",  "0",          screen};
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
        kill_now();
        return;
    }
    m_name = ":" + number;
}

private_xvfb::~private_xvfb()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}

void private_xvfb::kill_now()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

Display* open_display_retrying(const char* name)
{
    Display* dpy = nullptr;
    wait_until([&] { return (dpy = XOpenDisplay(name)) != nullptr; }, 3000ms);
    return dpy;
}

x_client::x_client() : m_display(open_display_retrying()) {}

x_client::~x_client()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool x_client::window_exists(Window window)
{
    XSync(m_display, False);
    XErrorHandler previous = XSetErrorHandler(count_error);
    const int before = client_errors;
    XWindowAttributes attributes;
    XGetWindowAttributes(m_display, window, &attributes);
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return client_errors == before;
}

bool x_client::wait_viewable(Window window)
{
    return wait_until([&] {
        XWindowAttributes attributes;
        return window_exists(window) && XGetWindowAttributes(m_display, window, &attributes) &&
               attributes.map_state == IsViewable;
    });
}

bool x_client::geometry(Window window, int* x, int* y, unsigned* width, unsigned* height)
{
    Window root = 0;
    Window child = 0;
    int local_x = 0;
    int local_y = 0;
    unsigned border = 0;
    unsigned depth = 0;
    if (!XGetGeometry(m_display, window, &root, &local_x, &local_y, width, height, &border, &depth))
        return false;
    return XTranslateCoordinates(m_display, window, root, 0, 0, x, y, &child);
}

} // namespace test_support
