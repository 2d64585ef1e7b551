// The dirty-rectangle container keeps its rectangles disjoint while their
// union stays the union of all rectangles added.
#include "tests/support/support.h"

#include "gui_engine/AFXRegionContainer.h"

#include <random>

using namespace test_support;

namespace {

std::string text(const std::vector<AFXRect>& rects)
{
    std::string s;
    for (const AFXRect& r : rects)
        s += "{" + std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) + "," +
             std::to_string(r.right) + "} ";
    return s;
}

// Rectangles (top, left, bottom, right) added in order, and what is stored, in order.
TEST(RegionContainer, AddedRectanglesAreStoredAsDisjointPieces)
{
    const struct {
        std::vector<AFXRect> added, stored;
    } rows[] = {{{{0, 0, 10, 10}, {5, 5, 15, 15}}, {{0, 0, 5, 10}, {5, 0, 10, 5}, {5, 5, 15, 15}}},
                {{{10, 10, 30, 30}, {15, 0, 20, 40}}, {{10, 10, 15, 30}, {20, 10, 30, 30}, {15, 0, 20, 40}}},
                {{{0, 0, 30, 30}, {10, 10, 20, 20}, {-5, 12, 35, 18}}, {{0, 0, 30, 12}, {0, 18, 30, 30}, {-5, 12, 35, 18}}},
                {{{0, 0, 20, 20}, {5, 5, 10, 10}, {0, 0, 20, 20}}, {{0, 0, 20, 20}}},
                {{{2, 2, 4, 4}, {10, 10, 12, 14}, {30, 30, 32, 32}, {0, 0, 20, 20}}, {{30, 30, 32, 32}, {0, 0, 20, 20}}},
                {{{0, 0, 10, 10}, {0, 10, 10, 20}, {10, 0, 20, 10}}, {{0, 0, 10, 10}, {0, 10, 10, 20}, {10, 0, 20, 10}}},
                {{{9, 7, 3, 1}}, {{3, 1, 9, 7}}},
                {{{0, 0, 10, 10}, {5, -5, 5, 20}, {-5, 5, 20, 5}}, {{0, 0, 10, 10}}}};
    for (const auto& r : rows) {
        AFXRegionContainer c;
        for (const AFXRect& a : r.added)
            c.add(a);
        EXPECT_EQ(text(std::vector<AFXRect>(c.regions(), c.regions() + c.size())), text(r.stored)) << text(r.added);
    }
    std::mt19937 rng(710);
    for (int round = 0; round < 50; ++round) {
        AFXRegionContainer c;
        std::vector<int> expected(40 * 40, 0), cover(40 * 40, 0);
        for (int n = 0; n < 12; ++n) {
            const AFXRect a = AFXRegionContainer::sanitize({int(rng() % 41), int(rng() % 41), int(rng() % 41), int(rng() % 41)});
            c.add(a);
            for (int y = a.top; y < a.bottom; ++y)
                for (int x = a.left; x < a.right; ++x)
                    expected[y * 40 + x] = 1;
        }
        for (const AFXRect* s = c.regions(); s != c.regions() + c.size(); ++s)
            for (int y = s->top; y < s->bottom; ++y)
                for (int x = s->left; x < s->right; ++x)
                    ++cover[y * 40 + x];
        ASSERT_EQ(cover, expected) << "round " << round;
    }
}

} // namespace
