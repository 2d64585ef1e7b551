#include "tests/support/rig.h"

#include <X11/extensions/XRes.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstring>

namespace test_support {

namespace {

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void sleep_until(double t)
{
    const timespec ts{static_cast<time_t>(t), static_cast<long>((t - std::floor(t)) * 1e9)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

long voluntary_switches()
{
    rusage ru;
    getrusage(RUSAGE_THREAD, &ru);
    return ru.ru_nvcsw;
}

// Calls body(round) once per period until stop; returns the rounds.
template <typename Body>
long periodic(double period_ms, const std::atomic<bool>& stop, Body body)
{
    long rounds = 0;
    for (double due = now(); !stop; sleep_until(due = std::max(due + period_ms * 1e-3, now() - 0.1)))
        body(rounds++);
    return rounds;
}

// Slots four to a row; the editor is 468 x 510 at scale 1 and size 0, its HF
// gain knob at (101, 100) on the panel, which starts at x = 162 and whose
// image starts 16 rows down.
int slot_x(int slot) { return (slot % 4) * 480; }
int slot_y(int slot) { return (slot / 4 % 2) * 520; }

} // namespace

double env_number(const char* name, double fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::atof(text) : fallback;
}

rig_result run_rig(const rig_options& opt)
{
    rig_result r;
    const rt_probe probe;
    const int max_block = *std::max_element(opt.block_frames.begin(), opt.block_frames.end());
    std::vector<std::unique_ptr<vsthost::VstPlugin>> owned;
    std::vector<vsthost::VstPlugin*> fx;
    for (int i = 0; i < opt.instances; ++i)
        if (owned.push_back(load(48000.0f, max_block)), owned.back())
            fx.push_back(owned.back().get());
    const std::vector<float> in = noise(65536 + static_cast<size_t>(max_block), 12345);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    long automation[2] = {0, 0};
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            uint32_t seed = 777u + static_cast<uint32_t>(t);
            automation[t] = periodic(opt.automation_period_ms, stop, [&](long) {
                for (vsthost::VstPlugin* p : fx)
                    for (int index = 0; index < 9; ++index) {
                        p->set_parameter(index, static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 16777215.0f);
                        (void)p->get_parameter(index);
                    }
            });
        });
    threads.emplace_back([&] {
        uint32_t seed = 4242u;
        r.control_rounds = periodic(opt.control_period_ms, stop, [&](long round) {
            char name[] = "Live 24-character rename";
            for (vsthost::VstPlugin* p : fx) {
                seed = seed * 1664525u + 1013904223u;
                p->dispatch(effSetProgram, 0, static_cast<VstIntPtr>(seed % 9));
                p->dispatch(effSetBypass, 0, (seed >> 8) % 4 == 0);
                (void)p->parameter_display(static_cast<VstInt32>((seed >> 12) % 9));
                (void)p->current_program_name();
                if (round % 16 == 0)
                    p->dispatch(effSetProgramName, 0, 0, name);
            }
        });
        for (vsthost::VstPlugin* p : fx)
            p->dispatch(effSetBypass, 0, 0);
    });
    for (const auto& body : opt.extra)
        threads.emplace_back([&] { body(fx, stop); });

    std::vector<float> out_l(static_cast<size_t>(max_block)), out_r(static_cast<size_t>(max_block));
    long late = 0;
    if (probe.loaded())
        probe.reset();
    size_t pos = 0;
    for (double start = now(), due = start; now() - start < opt.seconds; ++r.blocks) {
        const int frames = opt.block_frames[static_cast<size_t>(r.blocks) % opt.block_frames.size()];
        float* ins[2] = {const_cast<float*>(&in[pos]), const_cast<float*>(&in[(pos + 7919) % 65536])};
        float* outs[2] = {out_l.data(), out_r.data()};
        const long switches = voluntary_switches();
        for (vsthost::VstPlugin* p : fx) {
            AEffect* e = p->effect();
            if (probe.loaded())
                probe.enter();
            e->processReplacing(e, ins, outs, frames);
            if (probe.loaded())
                probe.leave();
            for (int k = 0; k < frames; ++k)
                r.non_finite += !std::isfinite(out_l[k]) + !std::isfinite(out_r[k]);
        }
        r.voluntary_switches += voluntary_switches() - switches;
        pos = (pos + static_cast<size_t>(frames)) % 65536;
        if (opt.paced && now() > (due += frames / 48000.0))
            ++late;
        else if (opt.paced)
            sleep_until(due);
    }
    stop = true;
    for (std::thread& t : threads)
        t.join();
    r.automation_rounds = automation[0] + automation[1];
    char calls[1024] = "probe not loaded";
    r.blocking_calls = probe.loaded() ? probe.report(calls, sizeof calls) : 0;
    r.report = std::to_string(fx.size()) + " instances, " + std::to_string(r.blocks) + " blocks (" +
               std::to_string(late) + " late), " + std::to_string(r.automation_rounds) + " automation and " +
               std::to_string(r.control_rounds) + " program rounds; inside processReplacing " +
               std::to_string(r.voluntary_switches) + " voluntary context switches, blocking calls: " + calls;
    return r;
}

editor_desk::editor_desk() : m_server(new private_xvfb("1920x1100x24"))
{
    m_server->use();
    setenv("ZOKA_UI_DPI", "96", 1);
    if (m_server->running())
        m_client = std::make_unique<x_client>();
    if (m_client && !m_client->display())
        m_client.reset();
}

editor_desk::~editor_desk()
{
    m_client.reset();
    if (m_held_socket >= 0)
        ::close(m_held_socket);
}

Window editor_desk::host_window(int slot)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_client ? m_hosts[slot] = m_client->host_window(468, 510, slot_x(slot), slot_y(slot)) : 0;
}

bool editor_desk::open(vsthost::VstPlugin& plugin, int slot)
{
    close(plugin, slot);
    const Window host = host_window(slot);
    if (!host)
        return false;
    plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
    return editor_shown(slot);
}

void editor_desk::close(vsthost::VstPlugin& plugin, int slot)
{
    plugin.dispatch(effEditClose);
    destroy_host_window(slot);
}

void editor_desk::destroy_host_window(int slot)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_client && m_hosts.count(slot))
        m_client->destroy(m_hosts[slot]);
    m_hosts.erase(slot);
}

bool editor_desk::editor_shown(int slot)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const std::vector<Window> kids = m_client && m_hosts.count(slot) ? m_client->children(m_hosts[slot]) : std::vector<Window>();
    return kids.size() == 1 && m_client->wait_viewable(kids[0]);
}

bool editor_desk::drag(int slot, int x, int y, int dx, int dy, int steps)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_client || !m_hosts.count(slot))
        return false;
    x += slot_x(slot), y += slot_y(slot);
    m_client->move(x, y);
    m_client->button(1, true);
    for (int i = 0; i < steps; ++i)
        m_client->move(x += dx, y += dy);
    m_client->button(1, false);
    return true;
}

x_resources editor_desk::plugin_resources(int slot)
{
    std::lock_guard<std::mutex> guard(m_lock);
    x_resources r;
    Display* dpy = m_client ? m_client->display() : nullptr;
    int count = 0;
    XResClient* clients = nullptr;
    if (!dpy || !XResQueryClients(dpy, &count, &clients))
        return r;
    const std::vector<Window> kids = m_hosts.count(slot) ? m_client->children(m_hosts[slot]) : std::vector<Window>();
    for (int i = 0; i < count; ++i) {
        if (!m_plugin_client && kids.size() == 1 && (kids[0] & ~clients[i].resource_mask) == clients[i].resource_base)
            m_plugin_client = clients[i].resource_base;
        r.connected |= m_plugin_client && clients[i].resource_base == m_plugin_client;
    }
    XFree(clients);
    XResType* types = nullptr;
    if (r.connected && XResQueryClientResources(dpy, m_plugin_client, &count, &types)) {
        for (int i = 0; i < count; ++i) {
            char* name = XGetAtomName(dpy, types[i].resource_type);
            r.total += types[i].count;
            r.windows += std::strcmp(name, "WINDOW") == 0 ? types[i].count : 0;
            r.pixmaps += std::strcmp(name, "PIXMAP") == 0 ? types[i].count : 0;
            XFree(name);
        }
        XFree(types);
    }
    return r;
}

void editor_desk::kill_server()
{
    std::lock_guard<std::mutex> guard(m_lock);
    const std::string path = "/tmp/.X11-unix/X" + m_server->display_name().substr(1);
    // The desk's windows stay on the server as the server dies with them.
    if (m_client)
        XSetCloseDownMode(m_client->display(), RetainPermanent);
    m_client.reset();
    m_hosts.clear();
    m_server->kill_now();
    // A server that cannot bind a display's abstract socket moves on to the
    // next number; a connect to a bound socket nobody listens on is refused.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    m_held_socket = socket(AF_UNIX, SOCK_STREAM, 0);
    bind(m_held_socket, reinterpret_cast<sockaddr*>(&address),
         static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size()));
}

} // namespace test_support
