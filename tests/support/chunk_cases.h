#pragma once
// The damaged and hostile forms of a state chunk that every format must
// refuse without a change: built from a valid bank chunk (528 bytes) and
// program chunk (68 bytes) of the same plug-in, so that each case differs
// from an accepted chunk in one thing only.

#include <cstdint>
#include <vector>

namespace test_support {

struct damaged_chunk {
    const char* what;
    std::vector<uint8_t> bytes;
    bool program;  // offered where a program chunk is read (VST 2 index 1)
};
std::vector<damaged_chunk> damaged_chunks(const std::vector<uint8_t>& bank, const std::vector<uint8_t>& program);

}  // namespace test_support
