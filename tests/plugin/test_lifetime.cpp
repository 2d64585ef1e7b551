// effClose deletes the instance: every allocation the entry point made for it
// (effect, engine, programs, editor) is released again. Counted through the
// program's replacement of the global allocation functions, which the
// plug-in module's C++ runtime calls as well.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "plugin_interface/vst_interface.h"

namespace {
std::atomic<long> live_blocks{0};

void* counted_alloc(std::size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    live_blocks.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void counted_free(void* p)
{
    if (!p)
        return;
    live_blocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) { return counted_alloc(n); }
void* operator new[](std::size_t n) { return counted_alloc(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return counted_alloc(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { counted_free(p); }
void operator delete[](void* p) noexcept { counted_free(p); }
void operator delete(void* p, std::size_t) noexcept { counted_free(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { counted_free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { counted_free(p); }

TEST(PluginLifetime, EffCloseReleasesEverythingTheInstanceAllocated)
{
    void* module = dlopen(ZE710_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    typedef AEffect* (*Entry)(audioMasterCallback);
    auto entry = reinterpret_cast<Entry>(dlsym(module, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);

    const long before = live_blocks.load();
    AEffect* e = entry(nullptr);
    ASSERT_NE(e, nullptr);
    const long while_open = live_blocks.load();
    EXPECT_GE(while_open - before, 4) << "effect, engine, programs and editor are heap objects";

    // Use the instance a little so that nothing is closed in a pristine state.
    e->setParameter(e, 1, 0.8f);
    e->dispatcher(e, effSetProgram, 0, 5, nullptr, 0.0f);
    float l[100] = {}, r[100] = {};
    float* io[2] = {l, r};
    e->processReplacing(e, io, io, 100);

    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(live_blocks.load(), before);
    dlclose(module);
}
