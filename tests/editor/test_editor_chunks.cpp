// A state chunk restored while the editor is open, through the built plug-in
// on the private X server: the knob and the banner (the program's name)
// change on the screen, a new editor size resizes the editor's window after
// the host was asked for it, and the host hears no automation.
#include "tests/editor/editor_test_support.h"

#include <cstdlib>
#include <memory>

#include "plugin_interface/vst_interface.h"
#include "tools/host/vst_host.h"

namespace {

using namespace editor_test;

std::vector<uint8_t> bank_of(vsthost::VstPlugin& p)
{
    void* data = nullptr;
    const VstIntPtr n = p.dispatch(effGetChunk, 0, 0, &data);
    const uint8_t* b = static_cast<const uint8_t*>(data);
    return n > 0 && b ? std::vector<uint8_t>(b, b + n) : std::vector<uint8_t>();
}

TEST(EditorChunks, RestoredBankMovesTheKnobShowsTheNameAndResizesWithoutAutomation)
{
    setenv("ZOKA_UI_DPI", "96", 1);  // scale 1: a 468 x 510 editor at size 0
    x_client x;
    std::string error;
    auto src = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    auto p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    ASSERT_TRUE(src && p) << error;
    src->dispatch(effSetProgram, 0, 5);
    src->set_parameter(0, 0.95f);
    std::vector<uint8_t> same_size = bank_of(*src);
    src->set_parameter(8, 0.5f);
    std::vector<uint8_t> larger = bank_of(*src);

    const Window host = x.make_host_window(468, 510);
    p->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
    ASSERT_EQ(x.children(host).size(), 1u);
    const Window editor = x.children(host)[0];
    auto knob = [&] { return x.capture(host, 162 + 77, 92, 48, 48); };  // HF gain
    auto banner = [&] { return x.capture(host, 162 + 18, 58, 108, 16); };
    std::vector<rgb> last;
    ASSERT_TRUE(wait_until([&] {  // the first picture is on the screen and settled
        std::this_thread::sleep_for(60ms);
        std::vector<rgb> now = x.capture(host);
        const bool settled = !now.empty() && now == last && now != std::vector<rgb>(now.size(), now[0]);
        last = std::move(now);
        return settled;
    }));
    const std::vector<rgb> knob_before = knob(), banner_before = banner();  // the version text
    p->recorder().clear();

    ASSERT_EQ(p->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(same_size.size()), same_size.data()), 1);
    EXPECT_TRUE(wait_until([&] { return knob() != knob_before && banner() != banner_before; }, 2000ms));

    ASSERT_EQ(p->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(larger.size()), larger.data()), 1);
    int wx, wy, ww, wh;
    EXPECT_TRUE(wait_until([&] { return x.geometry(editor, &wx, &wy, &ww, &wh) && wh == 765; }, 2000ms));
    const std::vector<vsthost::HostCall> sizes = p->recorder().calls_of(audioMasterSizeWindow);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].index, 468);
    EXPECT_EQ(sizes[0].value, 765);
    EXPECT_EQ(p->recorder().calls().size(), 1u);  // nothing else: no automation

    p->dispatch(effEditClose);
    x.destroy(host);
}

}  // namespace
