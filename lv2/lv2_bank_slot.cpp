#include "lv2/lv2_bank_slot.h"

#include <cstring>

Lv2BankSlot::Lv2BankSlot()
{
    uint8_t chunk[kBytes];
    eq_chunk_write_bank(eq_factory_bank(), chunk);
    for (size_t i = 0; i < kWords; ++i) {
        uint32_t w;
        std::memcpy(&w, chunk + 4 * i, 4);
        words[i].store(w, std::memory_order_relaxed);
    }
}

bool Lv2BankSlot::try_read(uint8_t* out, uint32_t* version) const
{
    const uint32_t before = seq.load(std::memory_order_acquire);
    if (before & 1u)
        return false;
    // Acquire loads: a word a writer stored after its claim brings that
    // claim along, so the second look at the version sees it.
    for (size_t i = 0; i < kWords; ++i) {
        const uint32_t w = words[i].load(std::memory_order_acquire);
        std::memcpy(out + 4 * i, &w, 4);
    }
    if (seq.load(std::memory_order_relaxed) != before)
        return false;
    *version = before;
    return true;
}

bool Lv2BankSlot::try_write(const uint8_t* chunk, uint32_t expected, uint32_t* version)
{
    if (expected & 1u)
        return false;
    uint32_t claimed = expected;
    if (!seq.compare_exchange_strong(claimed, expected + 1, std::memory_order_acquire,
                                     std::memory_order_relaxed))
        return false;
    // Release stores: a reader that sees any of these words sees the claim
    // (the odd version) too.
    for (size_t i = 0; i < kWords; ++i) {
        uint32_t w;
        std::memcpy(&w, chunk + 4 * i, 4);
        words[i].store(w, std::memory_order_release);
    }
    seq.store(expected + 2, std::memory_order_release);
    *version = expected + 2;
    return true;
}
