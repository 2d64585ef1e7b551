// Dirty-rectangle container: adding keeps the stored rectangles disjoint while
// their union stays the union of everything added, and the storage grows by
// doubling from 8. Unions are checked pixel by pixel on a small grid.

#include "gui_engine/AFXRegionContainer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

bool same(const AFXRect& a, const AFXRect& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

std::vector<AFXRect> contents(AFXRegionContainer& c)
{
    return std::vector<AFXRect>(c.regions(), c.regions() + c.size());
}

constexpr int grid = 40;

// How many stored rectangles cover each pixel of the grid.
std::vector<int> coverage(AFXRegionContainer& c)
{
    std::vector<int> cover(grid * grid, 0);
    for (const AFXRect& r : contents(c))
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                ++cover[y * grid + x];
    return cover;
}

// Rectangles added in order, and what the container then holds, in order.
struct add_case {
    const char* name;
    std::vector<AFXRect> added, stored;
};

void PrintTo(const add_case& c, std::ostream* os)
{
    *os << c.name;
}

std::string text(const std::vector<AFXRect>& rects)
{
    std::string s;
    for (const AFXRect& r : rects)
        s += "{" + std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) +
             "," + std::to_string(r.right) + "} ";
    return s;
}

class RegionAdd : public testing::TestWithParam<add_case> {};

TEST_P(RegionAdd, StoresDisjointPiecesInOrder)
{
    AFXRegionContainer c;
    for (const AFXRect& r : GetParam().added)
        c.add(r);
    EXPECT_EQ(text(contents(c)), text(GetParam().stored));
}

INSTANTIATE_TEST_SUITE_P(
    RegionContainer, RegionAdd,
    testing::Values(
        add_case{"OverlappingRectangleSplitsTheStoredOneInOrder",
                 {{0, 0, 10, 10}, {5, 5, 15, 15}},
                 {{0, 0, 5, 10}, {5, 0, 10, 5}, {5, 5, 15, 15}}},
        // A band through the middle, wider than the stored one: top and bottom bands stay.
        add_case{"CrossingBandLeavesTopAndBottom",
                 {{10, 10, 30, 30}, {15, 0, 20, 40}},
                 {{10, 10, 15, 30}, {20, 10, 30, 30}, {15, 0, 20, 40}}},
        add_case{"CrossingColumnLeavesLeftAndRight",
                 {{0, 0, 30, 30}, {10, 10, 20, 20}, {-5, 12, 35, 18}},
                 {{0, 0, 30, 12}, {0, 18, 30, 30}, {-5, 12, 35, 18}}},
        add_case{"ContainedRectangleChangesNothing", {{0, 0, 30, 30}, {10, 10, 20, 20}}, {{0, 0, 30, 30}}},
        // Equal counts as contained.
        add_case{"EqualRectangleChangesNothing",
                 {{0, 0, 20, 20}, {5, 5, 10, 10}, {0, 0, 20, 20}},
                 {{0, 0, 20, 20}}},
        // The last one covers the first two; the one outside it stays.
        add_case{"CoveringRectangleReplacesWhatItContains",
                 {{2, 2, 4, 4}, {10, 10, 12, 14}, {30, 30, 32, 32}, {0, 0, 20, 20}},
                 {{30, 30, 32, 32}, {0, 0, 20, 20}}},
        add_case{"TouchingRectanglesAreAllKept",
                 {{0, 0, 10, 10}, {0, 10, 10, 20}, {10, 0, 20, 10}},
                 {{0, 0, 10, 10}, {0, 10, 10, 20}, {10, 0, 20, 10}}},
        add_case{"ReversedCornersAreStoredOrdered", {{9, 7, 3, 1}}, {{3, 1, 9, 7}}},
        // Zero height and zero width, both crossing the stored rectangle.
        add_case{"EmptyRectanglesAreIgnoredAndLoseNoArea",
                 {{0, 0, 10, 10}, {5, -5, 5, 20}, {-5, 5, 20, 5}},
                 {{0, 0, 10, 10}}},
        add_case{"EmptyRectangleIsNotStored", {{3, 3, 3, 9}}, {}}),
    [](const testing::TestParamInfo<add_case>& info) { return std::string(info.param.name); });

TEST(RegionContainer, SanitizeOrdersReversedCorners)
{
    EXPECT_TRUE(same(AFXRegionContainer::sanitize({9, 7, 3, 1}), {3, 1, 9, 7}));
}

TEST(RegionContainer, RandomAddsStayDisjointAndKeepTheirUnion)
{
    std::mt19937 rng(710);
    std::uniform_int_distribution<int> coord(0, grid);
    for (int round = 0; round < 50; ++round) {
        AFXRegionContainer c;
        std::vector<bool> expected(grid * grid, false);
        for (int n = 0; n < 12; ++n) {
            const AFXRect r{coord(rng), coord(rng), coord(rng), coord(rng)};
            c.add(r);
            const AFXRect s = AFXRegionContainer::sanitize(r);
            for (int y = s.top; y < s.bottom; ++y)
                for (int x = s.left; x < s.right; ++x)
                    expected[y * grid + x] = true;
            const std::vector<int> cover = coverage(c);
            for (int p = 0; p < grid * grid; ++p) {
                ASSERT_LE(cover[p], 1) << "overlap at pixel " << p << " round " << round;
                ASSERT_EQ(cover[p] == 1, expected[p]) << "union differs at " << p;
            }
        }
    }
}

TEST(RegionContainer, StorageDoublesFromEight)
{
    AFXRegionContainer c;
    EXPECT_EQ(c.size(), 0);
    EXPECT_EQ(c.capacity(), 0);
    EXPECT_EQ(c.regions(), nullptr);
    for (int i = 0; i < 8; ++i)
        c.push_back({i, 0, i + 1, 1});
    EXPECT_EQ(c.capacity(), 8);
    c.push_back({8, 0, 9, 1});
    EXPECT_EQ(c.capacity(), 16);
    for (int i = 9; i < 16; ++i)
        c.push_back({i, 0, i + 1, 1});
    EXPECT_EQ(c.capacity(), 16);
    c.push_back({16, 0, 17, 1});
    EXPECT_EQ(c.capacity(), 32);
    ASSERT_EQ(c.size(), 17);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(c.regions()[i].top, i) << "copied in order on growth";
}

TEST(RegionContainer, PopEraseSwapShrink)
{
    AFXRegionContainer c;
    EXPECT_TRUE(same(c.pop_back(), {0, 0, 0, 0}));
    c.push_back({1, 1, 2, 2});
    c.push_back({2, 2, 3, 3});
    c.push_back({3, 3, 4, 4});
    c.push_back({4, 4, 5, 5});
    EXPECT_EQ(c.erase(3), 3);  // the last one: only the count changes
    ASSERT_EQ(c.size(), 3);
    EXPECT_EQ(c.erase(0), 0);  // the first: the rest move down in order
    ASSERT_EQ(c.size(), 2);
    EXPECT_TRUE(same(c.regions()[0], {2, 2, 3, 3}));
    EXPECT_TRUE(same(c.regions()[1], {3, 3, 4, 4}));
    EXPECT_EQ(c.erase(7), 7);
    EXPECT_EQ(c.size(), 2);

    AFXRegionContainer other;
    other.swap(c);
    EXPECT_EQ(c.size(), 0);
    EXPECT_EQ(other.size(), 2);
    EXPECT_TRUE(same(other.pop_back(), {3, 3, 4, 4}));  // last in, first out
    EXPECT_TRUE(same(other.pop_back(), {2, 2, 3, 3}));
    EXPECT_TRUE(same(other.pop_back(), {0, 0, 0, 0}));
    other.shrink();
    EXPECT_EQ(other.capacity(), 0);
    EXPECT_EQ(other.regions(), nullptr);
}

} // namespace
