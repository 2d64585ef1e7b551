// A bank chunk with another editor size, restored while the editor is open
// (the built plug-in on the private X server): the host is asked for the new
// size, the editor's window follows, and the host hears nothing else (no
// automation).
#include "tests/editor/editor_test_support.h"

#include <cstdlib>

#include "plugin_interface/vst_interface.h"
#include "tools/host/vst_host.h"

namespace {

using namespace editor_test;

TEST(EditorChunks, RestoredEditorSizeResizesTheOpenWindowWithoutAutomation)
{
    setenv("ZOKA_UI_DPI", "96", 1);  // scale 1: 468 x 510 at size 0, 468 x 765 at 0.5
    x_client x;
    std::string error;
    auto src = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    auto p = vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error);
    ASSERT_TRUE(src && p) << error;
    src->set_parameter(8, 0.5f);
    void* bank = nullptr;
    const VstIntPtr n = src->dispatch(effGetChunk, 0, 0, &bank);

    const Window host = x.make_host_window(468, 510);
    p->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host));
    ASSERT_EQ(x.children(host).size(), 1u);
    p->recorder().clear();
    ASSERT_EQ(p->dispatch(effSetChunk, 0, n, bank), 1);
    int wx, wy, ww, wh;
    EXPECT_TRUE(wait_until([&] { return x.geometry(x.children(host)[0], &wx, &wy, &ww, &wh) && wh == 765; }));
    EXPECT_EQ(ww, 468);
    const std::vector<vsthost::HostCall> calls = p->recorder().calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].opcode, audioMasterSizeWindow);
    EXPECT_EQ(calls[0].index, 468);
    EXPECT_EQ(calls[0].value, 765);
    p->dispatch(effEditClose);
    x.destroy(host);
}

}  // namespace
