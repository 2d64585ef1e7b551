#include "tests/support/chunk_cases.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace test_support {

namespace {

using Bytes = std::vector<uint8_t>;

Bytes put(Bytes b, size_t at, uint8_t v)
{
    b.at(at) = v;
    return b;
}

Bytes with(Bytes b, size_t at, float v)  // a little-endian f32
{
    b.at(at + 3);  // in range
    std::memcpy(&b[at], &v, 4);
    return b;
}

}  // namespace

std::vector<damaged_chunk> damaged_chunks(const Bytes& bank, const Bytes& program)
{
    Bytes unterminated = bank;
    std::fill_n(&unterminated.at(24 + 4 * 56 + 32), 24, 'A');
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return {
        {"truncated by one byte", Bytes(bank.begin(), bank.end() - 1), false},
        {"tag flipped", put(bank, 3, 'b'), false},
        {"major flipped", put(bank, 4, 0xfe), false},
        {"payload size flipped", put(bank, 8, 0xfb), false},
        {"bank as program", bank, true},
        {"program count 8", put(bank, 12, 8), false},
        {"current program 9", put(bank, 16, 9), false},
        {"editor size NaN", with(bank, 20, nan), false},
        {"value NaN", with(bank, 24, nan), false},
        {"value -0.1 in the last record", with(bank, 24 + 8 * 56 + 28, -0.1f), false},
        {"value 1.01 in a program chunk", with(program, 16, 1.01f), true},
        {"name unterminated", unterminated, false},
    };
}

}  // namespace test_support
