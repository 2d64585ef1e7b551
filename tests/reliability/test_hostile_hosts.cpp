// Hosts that keep the editor's GUI thread waiting inside their callbacks, or
// close the editor or the whole instance meanwhile, from another thread or
// from inside the callback itself: nothing is freed under a running handler
// (the sanitizer builds watch every byte), nothing hangs, an instance closed
// from inside a callback goes once that callback has returned, and the
// plug-in's GUI thread is gone once its last editor has closed. And a
// process that Xlib ends from inside the editor's XOpenDisplay exits.
#include <dirent.h>
#include <dlfcn.h>
#include <lv2/ui/ui.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "lv2/ze710_lv2_ports.h"
#include "tests/support/rig.h"

using namespace test_support;

namespace {

// The plug-in's GUI thread, found by the name it gives itself.
bool gui_thread_alive()
{
    bool alive = false;
    if (DIR* d = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(d)) {
            std::string name;
            if (e->d_name[0] != '.' && std::getline(std::ifstream(std::string("/proc/self/task/") + e->d_name + "/comm"), name))
                alive |= name == "ze710-gui";
        }
        closedir(d);
    }
    return alive;
}

// Runs a scenario on a thread of its own; a hang cannot be undone, so the
// test process ends at once, failed.
void without_hang(const char* what, const std::function<void()>& scenario)
{
    std::atomic<bool> done{false};
    std::thread t([&] { scenario(), done = true; });
    if (!wait_until([&] { return done.load(); }, 20000ms)) {
        ADD_FAILURE() << "hung: " << what;
        std::fflush(stdout);
        std::_Exit(1);
    }
    t.join();
}

// The host's side of one callback that the GUI thread makes: `inside` once
// it has begun, `returned` once it has come back.
struct callback_probe {
    std::atomic<bool> armed{true}, inside{false}, returned{false};
    // True for the first call of the kind asked for: the one to act on.
    bool take(bool matches) { return matches && armed.exchange(false); }
};

}  // namespace

// A press on a knob calls beginEdit on the GUI thread; the host sits in that
// callback while it closes instances on another thread: without closing the
// editor first, with a second editor open, and holding a lock that the
// callback waits for (a host that serialises its calls into a plug-in).
TEST(HostileHosts, InstancesClosedWhileACallbackRunsAreFreedAfterIt)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready());
    const struct {
        const char* what;
        int instances;
        std::chrono::milliseconds slow;
        bool serialised;
    } cases[] = {{"effClose without effEditClose, beginEdit takes 1.5 s", 1, 1500ms, false},
                 {"two editors, beginEdit takes 2.5 s", 2, 2500ms, false},
                 {"a serialising host closes while its lock holds the callback", 1, 0ms, true}};
    for (const auto& c : cases) {
        without_hang(c.what, [&] {
            std::vector<std::unique_ptr<vsthost::VstPlugin>> fx;
            for (int i = 0; i < c.instances; ++i) {
                fx.push_back(load(48000.0f));
                ASSERT_TRUE(desk.open(*fx.back(), i)) << c.what;
            }
            std::mutex host_lock;
            std::unique_lock<std::mutex> held(host_lock, std::defer_lock);
            if (c.serialised)
                held.lock();
            callback_probe cb;
            fx[0]->on_edit_call = [&](const vsthost::HostCall& call) {
                if (!cb.take(call.opcode == audioMasterBeginEdit))
                    return;
                cb.inside = true;
                std::this_thread::sleep_for(c.slow);
                std::lock_guard<std::mutex> serialised(host_lock);
                cb.returned = true;
            };
            desk.drag_knob(0, 4, true);
            ASSERT_TRUE(wait_until([&] { return cb.inside.load(); })) << c.what;
            if (c.serialised)
                fx[0]->dispatch(effEditClose);
            for (auto it = fx.rbegin(); it != fx.rend(); ++it)
                (*it)->close();
            EXPECT_FALSE(cb.returned) << c.what << ": the host's callback was cut short";
            if (held.owns_lock())
                held.unlock();
            EXPECT_TRUE(wait_until([&] { return cb.returned.load(); })) << c.what;
            EXPECT_TRUE(wait_until([] { return !gui_thread_alive(); })) << c.what << ": the GUI thread stayed";
            for (int i = 0; i < c.instances; ++i)
                desk.destroy_host_window(i);
        });
    }
}

// The host closes from inside its own callback, on the GUI thread: the
// editor, the editor after a suspend, or the instance. The handler comes
// back to a live editor; afterwards no plug-in thread is left, and an
// instance that stays opens its editor again.
TEST(HostileHosts, ClosingFromInsideACallbackLeavesNoThread)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready());
    const std::vector<std::pair<const char*, std::vector<VstInt32>>> cases = {
        {"effEditClose", {effEditClose}}, {"effMainsChanged, effEditClose", {effMainsChanged, effEditClose}},
        {"effClose", {effClose}}};
    for (const auto& [what, opcodes] : cases) {
        without_hang(what, [&, &opcodes = opcodes, &what = what] {
            auto fx = load(48000.0f);
            ASSERT_TRUE(desk.open(*fx, 0));
            ASSERT_TRUE(gui_thread_alive());
            callback_probe cb;
            fx->on_edit_call = [&](const vsthost::HostCall& call) {
                if (!cb.take(call.opcode == audioMasterBeginEdit))
                    return;
                for (VstInt32 opcode : opcodes)
                    opcode == effClose ? fx->close() : (void)fx->dispatch(opcode);
                cb.returned = true;
            };
            desk.drag_knob(0, 4, true);
            EXPECT_TRUE(wait_until([&] { return cb.returned.load(); })) << what;
            EXPECT_TRUE(wait_until([] { return !gui_thread_alive(); })) << what << ": the GUI thread stayed";
            if (opcodes.back() != effClose) {
                fx->dispatch(effMainsChanged, 0, 1);
                EXPECT_TRUE(desk.open(*fx, 0)) << what << ": the editor did not open again";
                EXPECT_TRUE(gui_thread_alive());
                desk.close(*fx, 0);
            }
            desk.destroy_host_window(0);
        });
    }
}

// The LV2 UI in a host without ui:idleInterface, which therefore calls
// ui:touch on the GUI thread: one UI's touch takes 2.5 s while another UI is
// cleaned up and then the touching UI itself; a third UI is cleaned up from
// inside its own touch.
TEST(HostileHosts, Lv2UisCleanedUpWhileATouchRuns)
{
    editor_desk desk;
    ASSERT_TRUE(desk.ready());
    void* module = dlopen(ZE710_LV2_UI_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto* d = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(module, "lv2ui_descriptor"))(0);
    struct ui_host {
        callback_probe cb;
        std::function<void()> on_touch;
        LV2UI_Touch touch{this, [](void* self, uint32_t, bool grabbed) {
                              auto* h = static_cast<ui_host*>(self);
                              if (h->cb.take(grabbed))
                                  h->cb.inside = true, h->on_touch(), h->cb.returned = true;
                          }};
        LV2UI_Handle ui = nullptr;
    };
    auto instantiate = [&](ui_host& h, int slot) {
        const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(desk.host_window(slot))};
        const LV2_Feature touch{LV2_UI__touch, &h.touch};
        const LV2_Feature* features[] = {&parent, &touch, nullptr};
        LV2UI_Widget widget = nullptr;
        h.ui = d->instantiate(d, ZE710_LV2_URI, ZE710_LV2_BUNDLE, [](void*, uint32_t, uint32_t, uint32_t, const void*) {},
                              nullptr, &widget, features);
        return h.ui != nullptr && desk.editor_shown(slot);
    };
    without_hang("a slow touch while UIs are cleaned up", [&] {
        ui_host a, b;
        a.on_touch = [] { std::this_thread::sleep_for(2500ms); };
        ASSERT_TRUE(instantiate(a, 0) && instantiate(b, 1));
        desk.drag_knob(0, 4, true);
        ASSERT_TRUE(wait_until([&] { return a.cb.inside.load(); }));
        d->cleanup(b.ui);
        d->cleanup(a.ui);
        EXPECT_FALSE(a.cb.returned);
        EXPECT_TRUE(wait_until([&] { return a.cb.returned.load(); }));
        EXPECT_TRUE(wait_until([] { return !gui_thread_alive(); })) << "the GUI thread stayed";
    });
    without_hang("a UI cleaned up from inside its touch", [&] {
        ui_host c;
        c.on_touch = [&] { d->cleanup(c.ui); };
        ASSERT_TRUE(instantiate(c, 2));
        desk.drag_knob(2, 4, true);
        EXPECT_TRUE(wait_until([&] { return c.cb.returned.load(); }));
        EXPECT_TRUE(wait_until([] { return !gui_thread_alive(); })) << "the GUI thread stayed";
    });
    EXPECT_EQ(dlclose(module), 0);
}

// Two host threads at once, as hosts save on one thread while another
// selects or saves: each saver gets a whole chunk that stays as it was until
// its own next call, and selections change the current program and the live
// values only, never another program's record.
TEST(HostileHosts, TwoThreadsSavingOrSelectingAtOnce)
{
    auto fx = load(48000.0f);
    auto chunk = [&](int index) {
        void* data = nullptr;
        const VstIntPtr n = fx->dispatch(effGetChunk, index, 0, &data);
        return std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n);
    };
    const std::vector<uint8_t> bank = chunk(0), program = chunk(1);
    std::atomic<int> torn{0}, ready{0};
    auto saver = [&](int first) {
        for (int i = 0; i < 2000; ++i) {
            const int index = (first + i) % 2;
            void* data = nullptr;
            const VstIntPtr n = fx->dispatch(effGetChunk, index, 0, &data);
            const std::vector<uint8_t>& expected = index ? program : bank;
            std::this_thread::yield();
            torn += n != static_cast<VstIntPtr>(expected.size()) || std::memcmp(data, expected.data(), expected.size()) != 0;
        }
    };
    std::thread a(saver, 0), b(saver, 1);
    a.join(), b.join();
    EXPECT_EQ(torn, 0) << "chunks changed under their callers";

    constexpr size_t kRecords = 24;  // the bank's program records start here
    auto selector = [&](int offset) {
        for (int i = 0; i < 2000; ++i) {
            for (++ready; ready < 2 * (i + 1);) {
            }
            fx->dispatch(effSetProgram, 0, (i + offset) % 9);
        }
    };
    std::thread c(selector, 0), d(selector, 4);
    c.join(), d.join();
    const std::vector<uint8_t> after = chunk(0);
    EXPECT_TRUE(std::equal(bank.begin() + kRecords, bank.end(), after.begin() + kRecords))
        << "a selection wrote one program's values into another's record";
}

namespace {

// An X server that completes the connection setup and then hangs up at the
// client's first request: Xlib's default handler, which a plug-in leaves to
// the host, ends the process from inside XOpenDisplay.
class hanging_up_server {
public:
    hanging_up_server()
    {
        for (display = 700 + getpid() % 200; display < 1000 && listener < 0; ++display) {
            const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path + 1, path.data(), path.size());
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            if (bind(fd, reinterpret_cast<sockaddr*>(&address), static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size())) == 0 &&
                listen(fd, 4) == 0)
                listener = fd;
            else
                ::close(fd);
        }
        --display;
        server = std::thread([this] { serve(); });
    }
    ~hanging_up_server()
    {
        shutdown(listener, SHUT_RDWR);
        ::close(listener);
        server.join();
    }
    std::string name() const { return ":" + std::to_string(display); }

private:
    void serve()
    {
        for (int client; (client = accept(listener, nullptr, nullptr)) >= 0; ::close(client)) {
            char request[512];
            if (read(client, request, sizeof request) < 12)
                continue;
            const std::vector<uint8_t> reply = setup_reply();
            if (write(client, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size()))
                continue;
            (void)!read(client, request, sizeof request);  // the first request: hang up
        }
    }
    // Little-endian, as the client asked ('l'): one 24-bit TrueColor screen.
    static std::vector<uint8_t> setup_reply()
    {
        std::vector<uint8_t> r;
        auto u8 = [&](uint32_t v) { r.push_back(static_cast<uint8_t>(v)); };
        auto u16 = [&](uint32_t v) { u8(v), u8(v >> 8); };
        auto u32 = [&](uint32_t v) { u16(v), u16(v >> 16); };
        u8(1), u8(0), u16(11), u16(0), u16(0);  // success, protocol 11.0, length later
        u32(0), u32(0x00200000), u32(0x001fffff), u32(0);  // release, resource base and mask, motion buffer
        u16(4), u16(65535), u8(1), u8(1), u8(0), u8(0), u8(32), u8(32), u8(8), u8(255), u32(0);
        for (char ch : std::string("fake"))
            u8(static_cast<uint8_t>(ch));
        u8(24), u8(32), u8(32), u32(0), u8(0);                // pixmap format: depth 24, 32 bpp
        u32(0x20), u32(0x21), u32(0xffffff), u32(0), u32(0);  // root, colormap, white, black, masks
        u16(640), u16(480), u16(170), u16(127), u16(1), u16(1), u32(0x22), u8(0), u8(0), u8(24), u8(1);
        u8(24), u8(0), u16(1), u32(0);                                       // depth 24, one visual
        u32(0x22), u8(4), u8(8), u16(256), u32(0xff0000), u32(0xff00), u32(0xff), u32(0);  // TrueColor
        const size_t words = (r.size() - 8) / 4;
        r[6] = static_cast<uint8_t>(words), r[7] = static_cast<uint8_t>(words >> 8);
        return r;
    }

    int listener = -1, display = 0;
    std::thread server;
};

}  // namespace

// The process exits: the module's unload, which the exit runs, does not wait
// for the GUI thread, which waits for the display lock the exiting thread
// holds inside XOpenDisplay.
TEST(HostileHostsDeathTest, AnXServerLostInsideXOpenDisplayLetsTheProcessExit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    hanging_up_server server;
    setenv("DISPLAY", server.name().c_str(), 1);
    EXPECT_EXIT(
        {
            auto fx = load(48000.0f);
            fx->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(1));
            std::_Exit(3);  // not reached: Xlib exits first
        },
        [](int status) { return WIFEXITED(status); }, "");
}
