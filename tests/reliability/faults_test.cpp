// Faults a host puts a plug-in through: the library unloaded (dlclose) and
// loaded again (dlopen) many times in one process, with instances created,
// used and closed in between, sometimes several at once and sometimes with a
// second handle on the library open. Nothing crashes, the library really
// leaves the process each time (no mapping left), and no thread or file
// descriptor is left behind.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "plugin_interface/vst_interface.h"

namespace {

typedef AEffect* (*EntryPoint)(audioMasterCallback);

// A host that answers only the version query, as the simplest hosts do.
VstIntPtr quiet_host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

int count_entries(const char* dir)
{
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

int thread_count() { return count_entries("/proc/self/task"); }
// The directory stream itself holds one descriptor while counting; it is the
// same in every count.
int fd_count() { return count_entries("/proc/self/fd"); }

// Mappings of the plug-in file in this process.
int module_mappings()
{
    std::ifstream maps("/proc/self/maps");
    const std::string name = std::string(ZE710_PLUGIN_PATH).substr(std::string(ZE710_PLUGIN_PATH).rfind('/'));
    int n = 0;
    for (std::string line; std::getline(maps, line);)
        n += line.size() >= name.size() && line.compare(line.size() - name.size(), name.size(), name) == 0;
    return n;
}

// What one instance goes through between creation and effClose. More uses
// (an editor opened and closed...) are passed in by the tests.
using InstanceUse = std::function<void(AEffect*)>;

long use_for_audio(AEffect* e)
{
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    e->dispatcher(e, effStartProcess, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetProgram, 0, 5, nullptr, 0.0f);
    for (int i = 0; i < e->numParams; ++i)
        e->setParameter(e, i, 0.25f * static_cast<float>(i % 5));
    char text[256] = {};
    e->dispatcher(e, effGetParamDisplay, 1, 0, text, 0.0f);
    ERect* rect = nullptr;
    e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f);
    std::vector<float> l(256), r(256);
    for (size_t i = 0; i < l.size(); ++i)
        l[i] = r[i] = std::sin(0.05f * static_cast<float>(i));
    long non_finite = 0;
    for (int block = 0; block < 8; ++block) {
        float* io[2] = {l.data(), r.data()};
        e->processReplacing(e, io, io, 256);
        for (size_t i = 0; i < l.size(); ++i)
            non_finite += !std::isfinite(l[i]) + !std::isfinite(r[i]);
    }
    e->dispatcher(e, effStopProcess, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    return non_finite;
}

struct CycleFigures {
    int cycles = 0;
    int instances = 0;
    long non_finite = 0;
    int cycles_left_mapped = 0;
};

// Loads the library, creates 1 to 3 instances, runs each through `use` and
// its audio, closes them and unloads the library, `cycles` times.
CycleFigures cycle_module(int cycles, const InstanceUse& use)
{
    CycleFigures f;
    for (int c = 0; c < cycles; ++c) {
        void* module = dlopen(ZE710_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(module, nullptr) << dlerror();
        if (!module)
            return f;
        auto entry = reinterpret_cast<EntryPoint>(dlsym(module, "VSTPluginMain"));
        EXPECT_NE(entry, nullptr);
        if (!entry)
            return f;
        std::vector<AEffect*> effects;
        for (int i = 0; i < 1 + c % 3; ++i) {
            AEffect* e = entry(quiet_host);
            EXPECT_NE(e, nullptr);
            if (!e)
                continue;
            e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
            effects.push_back(e);
        }
        for (AEffect* e : effects) {
            if (use)
                use(e);
            f.non_finite += use_for_audio(e);
        }
        for (AEffect* e : effects)
            EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
        f.instances += static_cast<int>(effects.size());
        EXPECT_EQ(dlclose(module), 0) << dlerror();
        f.cycles_left_mapped += module_mappings() != 0;
        ++f.cycles;
    }
    return f;
}

}  // namespace

TEST(Faults, LibraryUnloadedAndLoadedAgainTwoHundredTimes)
{
    ASSERT_EQ(module_mappings(), 0) << "the test must start without the plug-in loaded";
    const int threads_before = thread_count();
    const int fds_before = fd_count();

    const CycleFigures f = cycle_module(200, nullptr);
    EXPECT_EQ(f.cycles, 200);
    EXPECT_EQ(f.instances, 200 / 3 * 6 + 1 + 2);  // 1, 2, 3 instances in turn
    EXPECT_EQ(f.non_finite, 0);
    EXPECT_EQ(f.cycles_left_mapped, 0) << "the library stayed in the process after dlclose";

    EXPECT_EQ(thread_count(), threads_before) << "a thread outlived the library";
    EXPECT_EQ(fd_count(), fds_before) << "a file descriptor outlived the library";
    std::printf("%d load/unload cycles, %d instances created, used and closed; threads %d before and after\n",
                f.cycles, f.instances, threads_before);
}

// A second handle keeps the library loaded while the first is closed: the
// instances made through either handle keep working until their own effClose.
TEST(Faults, InstancesOutliveTheFirstHandleOfTwo)
{
    const int threads_before = thread_count();
    for (int round = 0; round < 20; ++round) {
        void* first = dlopen(ZE710_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(first, nullptr) << dlerror();
        auto entry = reinterpret_cast<EntryPoint>(dlsym(first, "VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
        AEffect* early = entry(quiet_host);
        ASSERT_NE(early, nullptr);

        void* second = dlopen(ZE710_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_EQ(second, first) << "one library, two references";
        ASSERT_EQ(dlclose(first), 0);
        AEffect* late = reinterpret_cast<EntryPoint>(dlsym(second, "main"))(quiet_host);
        ASSERT_NE(late, nullptr);

        EXPECT_EQ(use_for_audio(early), 0);
        EXPECT_EQ(use_for_audio(late), 0);
        EXPECT_EQ(early->dispatcher(early, effClose, 0, 0, nullptr, 0.0f), 1);
        EXPECT_EQ(late->dispatcher(late, effClose, 0, 0, nullptr, 0.0f), 1);
        ASSERT_EQ(dlclose(second), 0);
        EXPECT_EQ(module_mappings(), 0);
    }
    EXPECT_EQ(thread_count(), threads_before);
}
