// Entry point and dispatcher: the module exports exactly its two entry
// names and depends on nothing beyond libX11 and the C/C++ runtime; the
// record a host reads holds the published values; every dispatcher row
// answers as documented, also with null pointers and unknown opcodes.
#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include "plugin_harness.h"

using namespace ze710test;

namespace {

struct DynamicInfo {
    std::set<std::string> exported;  // defined global or weak dynamic symbols
    std::set<uint64_t> exported_addresses;
    std::set<std::string> needed;    // DT_NEEDED
};

// Reads the dynamic symbol table and dynamic section of a 64-bit ELF file.
DynamicInfo read_dynamic_info(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    DynamicInfo info;
    if (bytes.size() < sizeof(Elf64_Ehdr))
        return info;
    const char* base = bytes.data();
    Elf64_Ehdr eh;
    std::memcpy(&eh, base, sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
        return info;
    std::vector<Elf64_Shdr> sections(eh.e_shnum);
    for (size_t i = 0; i < sections.size(); ++i)
        std::memcpy(&sections[i], base + eh.e_shoff + i * eh.e_shentsize, sizeof(Elf64_Shdr));
    for (const Elf64_Shdr& sh : sections) {
        const char* strtab = base + sections.at(sh.sh_link).sh_offset;
        if (sh.sh_type == SHT_DYNSYM) {
            for (size_t off = 0; off + sizeof(Elf64_Sym) <= sh.sh_size; off += sizeof(Elf64_Sym)) {
                Elf64_Sym sym;
                std::memcpy(&sym, base + sh.sh_offset + off, sizeof sym);
                const int bind = ELF64_ST_BIND(sym.st_info);
                if (sym.st_shndx != SHN_UNDEF && (bind == STB_GLOBAL || bind == STB_WEAK)) {
                    info.exported.insert(strtab + sym.st_name);
                    info.exported_addresses.insert(sym.st_value);
                }
            }
        } else if (sh.sh_type == SHT_DYNAMIC) {
            for (size_t off = 0; off + sizeof(Elf64_Dyn) <= sh.sh_size; off += sizeof(Elf64_Dyn)) {
                Elf64_Dyn dyn;
                std::memcpy(&dyn, base + sh.sh_offset + off, sizeof dyn);
                if (dyn.d_tag == DT_NEEDED)
                    info.needed.insert(strtab + dyn.d_un.d_val);
            }
        }
    }
    return info;
}

VstIntPtr recording_callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

typedef AEffect* (*Entry)(audioMasterCallback);

}  // namespace

TEST(PluginModule, ExportsOnlyTheEntryPointUnderItsTwoNames)
{
    const DynamicInfo info = read_dynamic_info(ZE710_PLUGIN_PATH);
    EXPECT_EQ(info.exported, (std::set<std::string>{"main", "VSTPluginMain"}));
    EXPECT_EQ(info.exported_addresses.size(), 1u) << "main must be an alias of VSTPluginMain";
}

TEST(PluginModule, DependsOnlyOnX11AndTheRuntime)
{
    const DynamicInfo info = read_dynamic_info(ZE710_PLUGIN_PATH);
    ASSERT_FALSE(info.needed.empty());
    std::set<std::string> allowed = {"libX11.so.6", "libstdc++.so.6", "libm.so.6",
                                     "libgcc_s.so.1", "libc.so.6", "ld-linux-x86-64.so.2"};
#ifdef ZE710_SANITIZED
    allowed.insert({"libtsan.so.2", "libasan.so.8", "libubsan.so.1"});
#endif
    for (const std::string& lib : info.needed)
        EXPECT_TRUE(allowed.count(lib)) << "unexpected dependency " << lib;
}

TEST(PluginModule, BothEntryNamesCreateIndependentInstances)
{
    void* module = dlopen(ZE710_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto vst_main = reinterpret_cast<Entry>(dlsym(module, "VSTPluginMain"));
    auto plain_main = reinterpret_cast<Entry>(dlsym(module, "main"));
    ASSERT_NE(vst_main, nullptr);
    ASSERT_NE(plain_main, nullptr);
    AEffect* a = vst_main(recording_callback);
    AEffect* b = plain_main(recording_callback);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    // Parameters of one instance do not leak into the other.
    a->setParameter(a, 0, 0.9f);
    EXPECT_FLOAT_EQ(a->getParameter(a, 0), 0.9f);
    EXPECT_FLOAT_EQ(b->getParameter(b, 0), 0.5f);
    EXPECT_EQ(a->dispatcher(a, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(b->dispatcher(b, effClose, 0, 0, nullptr, 0.0f), 1);
    dlclose(module);
}

TEST(PluginModule, RecordHoldsThePublishedValues)
{
    void* module = dlopen(ZE710_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    AEffect* e = reinterpret_cast<Entry>(dlsym(module, "main"))(nullptr);
    ASSERT_NE(e, nullptr);
    // Read the fields at the published offsets, as a host compiled against
    // the published header does.
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(e);
    auto i32 = [&](size_t off) {
        int32_t v;
        std::memcpy(&v, raw + off, 4);
        return v;
    };
    auto ptr = [&](size_t off) {
        void* v;
        std::memcpy(&v, raw + off, 8);
        return v;
    };
    EXPECT_EQ(i32(0), 0x56737450);          // magic "VstP"
    EXPECT_NE(ptr(8), nullptr);             // dispatcher
    EXPECT_NE(ptr(16), nullptr);            // deprecated process
    EXPECT_NE(ptr(24), nullptr);            // setParameter
    EXPECT_NE(ptr(32), nullptr);            // getParameter
    EXPECT_EQ(i32(40), 9);                  // numPrograms
    EXPECT_EQ(i32(44), 9);                  // numParams
    EXPECT_EQ(i32(48), 2);                  // numInputs
    EXPECT_EQ(i32(52), 2);                  // numOutputs
    EXPECT_EQ(i32(56), 49);                 // editor + replacing + program chunks
    EXPECT_EQ(ptr(64), nullptr);            // resvd1
    EXPECT_EQ(ptr(72), nullptr);            // resvd2
    EXPECT_EQ(i32(80), 0);                  // initialDelay
    EXPECT_EQ(i32(84), 0);                  // realQualities
    EXPECT_EQ(i32(88), 0);                  // offQualities
    float io_ratio;
    std::memcpy(&io_ratio, raw + 92, 4);
    EXPECT_EQ(io_ratio, 1.0f);
    EXPECT_NE(ptr(96), nullptr);            // object
    EXPECT_EQ(ptr(104), nullptr);           // user
    EXPECT_EQ(i32(112), 0x5A453731);        // "ZE71"
    EXPECT_EQ(i32(116), 1);                 // version
    EXPECT_NE(ptr(120), nullptr);           // processReplacing
    EXPECT_NE(ptr(128), nullptr);           // processDoubleReplacing
    EXPECT_TRUE(std::all_of(raw + 136, raw + 192, [](unsigned char c) { return c == 0; }));

    // The deprecated entries do nothing and do not touch the buffers.
    float l[4] = {1, 2, 3, 4}, r[4] = {5, 6, 7, 8}, ol[4] = {-1, -1, -1, -1}, orr[4] = {-1, -1, -1, -1};
    float* ins[2] = {l, r};
    float* outs[2] = {ol, orr};
    e->process(e, ins, outs, 4);
    double dl[4] = {1, 2, 3, 4}, dr[4] = {5, 6, 7, 8}, dol[4] = {-1, -1, -1, -1}, dor[4] = {-1, -1, -1, -1};
    double* dins[2] = {dl, dr};
    double* douts[2] = {dol, dor};
    e->processDoubleReplacing(e, dins, douts, 4);
    EXPECT_EQ(ol[3], -1.0f);
    EXPECT_EQ(dor[3], -1.0);

    // Without a host callback a program change still applies its values.
    EXPECT_EQ(e->dispatcher(e, effSetProgram, 0, 4, nullptr, 0.0f), 1);
    EXPECT_FLOAT_EQ(e->getParameter(e, 1), 0.7375f);
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    dlclose(module);
}

class Dispatcher : public PluginTest {};

TEST_F(Dispatcher, ScalarRowsAnswerAsDocumented)
{
    struct Row {
        VstInt32 opcode, index;
        VstIntPtr value;
        float opt;
        VstIntPtr expected;
    };
    const Row rows[] = {
        {effOpen, 0, 0, 0, 0},
        {effGetProgram, 0, 0, 0, 0},
        {effGetVu, 0, 0, 0, 0},
        {effSetSampleRate, 0, 0, 44100.0f, 0},
        {effSetBlockSize, 0, 256, 0, 0},
        {effMainsChanged, 0, 0, 0, 0},
        {effMainsChanged, 0, 1, 0, 0},
        {effEditDraw, 0, 0, 0, 0},
        {effEditMouse, 0, 0, 0, 0},
        {effEditKey, 0, 0, 0, 0},
        {effEditIdle, 0, 0, 0, 0},
        {effEditTop, 0, 0, 0, 0},
        {effEditSleep, 0, 0, 0, 0},
        {effIdentify, 0, 0, 0, 0x4E764566},
        {effIdentify, 7, -3, 2.5f, 0x4E764566},
        {effGetChunk, 0, 0, 0, 0},
        {effSetChunk, 0, 0, 0, 0},
        {effProcessEvents, 0, 0, 0, 1},
        {effCanBeAutomated, 0, 0, 0, 1},
        {effCanBeAutomated, 8, 0, 0, 1},
        {effCanBeAutomated, 100, 0, 0, 1},
        {effString2Parameter, 0, 0, 0, 0},
        {effGetPlugCategory, 0, 0, 0, 0},
        {effGetTailSize, 0, 0, 0, 0},
        {effGetParameterProperties, 0, 0, 0, 0},
        {effStartProcess, 0, 0, 0, 0},
        {effSetBypass, 0, 0, 0, 1},
        {effGetVendorVersion, 0, 0, 0, 2310},
        {effGetVstVersion, 0, 0, 0, 2400},
        {effEditKeyDown, 'a', 0, 0, 0},
        {effEditKeyUp, 'a', 0, 0, 0},
        {effSetEditKnobMode, 0, 2, 0, 0},
        {effGetMidiProgramName, 0, 0, 0, 0},
        {effSetProcessPrecision, 0, 0, 0, 0},
        {effGetNumMidiInputChannels, 0, 0, 0, 0},
        {effStopProcess, 0, 0, 0, 1},
        {effEditOpen, 0, 0, 0, 1},
        {effEditClose, 0, 0, 0, 1},
        {80, 0, 0, 0, 0},
        {1000, 0, 0, 0, 0},
        {INT_MAX, 0, 0, 0, 0},
        {-1, 0, 0, 0, 0},
        {INT_MIN, 0, 0, 0, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(dispatch(row.opcode, row.index, row.value, nullptr, row.opt), row.expected)
            << "opcode " << row.opcode;
}

TEST_F(Dispatcher, TextRowsWriteTheirTexts)
{
    struct Row {
        VstInt32 opcode, index;
        VstIntPtr expected;
        const char* text;
    };
    const Row rows[] = {
        {effGetEffectName, 0, 1, "ZE710"},
        {effGetVendorString, 0, 1, "Kestrelwood"},
        {effGetProductString, 0, 1, "Stereo Channel EQ"},
        {effGetParamLabel, 3, 0, ""},
        {effGetParamName, 6, 0, "Mid BW"},
        {effGetParamDisplay, 6, 0, "1.25 Oct"},
        {effGetProgramName, 0, 1, "01 User Preset 1"},
        {effGetProgramNameIndexed, 8, 1, "09 Hollow Mid"},
    };
    for (const Row& row : rows) {
        char text[64];
        std::memset(text, '#', sizeof text);
        EXPECT_EQ(dispatch(row.opcode, row.index, 0, text), row.expected) << "opcode " << row.opcode;
        EXPECT_STREQ(text, row.text) << "opcode " << row.opcode;
    }
    char name[] = "Renamed";
    EXPECT_EQ(dispatch(effSetProgramName, 0, 0, name), 1);
    EXPECT_EQ(plugin->current_program_name(), "Renamed");
}

TEST_F(Dispatcher, CanDoAnswersOnlyExactBypass)
{
    char bypass[] = "bypass", short_text[] = "bypas", longer[] = "bypassX", midi[] = "receiveVstMidiEvent";
    EXPECT_EQ(dispatch(effCanDo, 0, 0, bypass), 1);
    EXPECT_EQ(dispatch(effCanDo, 0, 0, short_text), 0);
    EXPECT_EQ(dispatch(effCanDo, 0, 0, longer), 0);
    EXPECT_EQ(dispatch(effCanDo, 0, 0, midi), 0);
    EXPECT_EQ(dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, EditorRectIsTheSmallestEditorAtScaleOne)
{
    // The scale is read at the first rect request; pin it to 1.
    setenv("ZOKA_UI_DPI", "96", 1);
    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 510);
    EXPECT_EQ(rect->right, 468);
    // Idle does nothing and the rect stays valid.
    EXPECT_EQ(dispatch(effEditIdle), 0);
    EXPECT_EQ(rect->right, 468);
}

TEST_F(Dispatcher, NullPointersAreNeverWrittenThrough)
{
    // Each answer stays what it is with a valid pointer.
    EXPECT_EQ(dispatch(effSetProgramName, 0, 0, nullptr), 1);
    EXPECT_EQ(dispatch(effGetProgramName, 0, 0, nullptr), 1);
    EXPECT_EQ(dispatch(effGetParamLabel, 0, 0, nullptr), 0);
    EXPECT_EQ(dispatch(effGetParamDisplay, 0, 0, nullptr), 0);
    EXPECT_EQ(dispatch(effGetParamName, 0, 0, nullptr), 0);
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, nullptr), 1);
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, 0, 0, nullptr), 1);
    EXPECT_EQ(dispatch(effGetEffectName, 0, 0, nullptr), 1);
    EXPECT_EQ(dispatch(effGetVendorString, 0, 0, nullptr), 1);
    EXPECT_EQ(dispatch(effGetProductString, 0, 0, nullptr), 1);
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, nullptr), 1);
    // The name survives the null rename.
    EXPECT_EQ(plugin->current_program_name(), "01 User Preset 1");
}

TEST_F(Dispatcher, OutOfRangeProgramValuesClampWithoutWrapping)
{
    EXPECT_EQ(dispatch(effSetProgram, 0, 12), 1);
    EXPECT_EQ(dispatch(effGetProgram), 8);
    EXPECT_EQ(dispatch(effSetProgram, 0, -1), 1);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    // A 64-bit value whose low 32 bits read as 4 must not select program 4.
    EXPECT_EQ(dispatch(effSetProgram, 0, (VstIntPtr{1} << 32) + 4), 1);
    EXPECT_EQ(dispatch(effGetProgram), 8);
}
