#include "tests/gui_engine/engine_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace engine_test {

namespace {

std::atomic<int> client_errors{0};

int count_error(Display*, XErrorEvent*)
{
    ++client_errors;
    return 0;
}

} // namespace

x_client::x_client() : m_display(nullptr)
{
    // Retried for the same reason as open_engine().
    wait_until([&] { return (m_display = XOpenDisplay(nullptr)) != nullptr; }, 3000ms);
}

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

private_xvfb::private_xvfb()
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
        execlp("Xvfb", "Xvfb", "-displayfd", fd_text.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0",
               "640x480x24", static_cast<char*>(nullptr));
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
    kill_now();
}

void private_xvfb::kill_now()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

} // namespace engine_test
