// The bank chunk (model/eq_chunk.h, 528 bytes) that run() and the host's
// other threads (state save and restore) share without a lock: a sequence
// lock over words that are each an atomic, so that a reader never sees a
// half-written bank and no thread ever waits for another.
//
// Writers claim the slot by moving its version from an even number to the
// next odd one with a compare-and-swap from the version they last read, and
// release it at the odd number plus one. A writer whose version is stale
// (someone wrote since it read) or that finds a write in progress fails at
// once: run() then tries again in a later period, a non-audio thread reads
// again and retries. Readers copy the words between two loads of the
// version and fail when it moved or was odd.
//
// Threads: any, any number; try_read and try_write never block and make no
// system call, so run() may call them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "model/eq_chunk.h"

class Lv2BankSlot {
public:
    static constexpr size_t kBytes = eq_chunk::kBankBytes;

    // Holds the factory bank (eq_factory_bank), at version 0.
    Lv2BankSlot();
    Lv2BankSlot(const Lv2BankSlot&) = delete;
    Lv2BankSlot& operator=(const Lv2BankSlot&) = delete;

    // The version now: even while the slot is at rest, odd while a write
    // runs. Every completed write changes it.
    uint32_t version() const { return seq.load(std::memory_order_acquire); }

    // Copies the bank into out (kBytes) and its version into *version.
    // False, out undefined, when a write ran meanwhile.
    bool try_read(uint8_t* out, uint32_t* version) const;
    // Writes kBytes from chunk, if the slot is still at `expected` (a
    // version read before). True: *version is the new one. False: nothing
    // written (someone else wrote since, or is writing).
    bool try_write(const uint8_t* chunk, uint32_t expected, uint32_t* version);

private:
    static_assert(kBytes % 4 == 0, "the chunk is kept in whole words");
    static constexpr size_t kWords = kBytes / 4;

    std::atomic<uint32_t> seq{0};
    std::atomic<uint32_t> words[kWords];
};
