// Dirty-rectangle container: adding keeps the stored rectangles disjoint while
// their union stays the union of everything added, and the storage grows by
// doubling from 8. Unions are checked pixel by pixel on a small grid.

#include "gui_engine/AFXRegionContainer.h"

#include <gtest/gtest.h>

#include <random>
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

TEST(RegionContainer, OverlappingRectangleSplitsTheStoredOneInOrder)
{
    AFXRegionContainer c;
    c.add({0, 0, 10, 10});
    c.add({5, 5, 15, 15});
    const std::vector<AFXRect> stored = contents(c);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_TRUE(same(stored[0], {0, 0, 5, 10}));
    EXPECT_TRUE(same(stored[1], {5, 0, 10, 5}));
    EXPECT_TRUE(same(stored[2], {5, 5, 15, 15}));
}

TEST(RegionContainer, CrossingRectangleLeavesAllFourPieces)
{
    AFXRegionContainer c;
    c.add({10, 10, 30, 30});
    c.add({15, 0, 20, 40});  // a band through the middle, wider than the stored one
    const std::vector<AFXRect> stored = contents(c);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_TRUE(same(stored[0], {10, 10, 15, 30}));  // top band
    EXPECT_TRUE(same(stored[1], {20, 10, 30, 30}));  // bottom band
    EXPECT_TRUE(same(stored[2], {15, 0, 20, 40}));

    AFXRegionContainer d;
    d.add({0, 0, 30, 30});
    d.add({10, 10, 20, 20});  // inside: nothing changes
    ASSERT_EQ(d.size(), 1);
    d.add({-5, 12, 35, 18});  // a column through the middle: left and right pieces
    const std::vector<AFXRect> split = contents(d);
    ASSERT_EQ(split.size(), 3u);
    EXPECT_TRUE(same(split[0], {0, 0, 30, 12}));
    EXPECT_TRUE(same(split[1], {0, 18, 30, 30}));
}

TEST(RegionContainer, ContainmentInBothDirections)
{
    AFXRegionContainer c;
    c.add({0, 0, 20, 20});
    c.add({5, 5, 10, 10});
    c.add({0, 0, 20, 20});  // equal counts as contained
    ASSERT_EQ(c.size(), 1);
    EXPECT_TRUE(same(c.regions()[0], {0, 0, 20, 20}));

    AFXRegionContainer d;
    d.add({2, 2, 4, 4});
    d.add({10, 10, 12, 14});
    d.add({30, 30, 32, 32});  // outside the next one: stays
    d.add({0, 0, 20, 20});    // covers the first two
    const std::vector<AFXRect> stored = contents(d);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_TRUE(same(stored[0], {30, 30, 32, 32}));
    EXPECT_TRUE(same(stored[1], {0, 0, 20, 20}));
}

TEST(RegionContainer, TouchingRectanglesAreBothKept)
{
    AFXRegionContainer c;
    c.add({0, 0, 10, 10});
    c.add({0, 10, 10, 20});
    c.add({10, 0, 20, 10});
    EXPECT_EQ(c.size(), 3);
}

TEST(RegionContainer, ReversedCornersAreStoredOrdered)
{
    AFXRect r = AFXRegionContainer::sanitize({9, 7, 3, 1});
    EXPECT_TRUE(same(r, {3, 1, 9, 7}));
    AFXRegionContainer c;
    c.add({9, 7, 3, 1});
    ASSERT_EQ(c.size(), 1);
    EXPECT_TRUE(same(c.regions()[0], {3, 1, 9, 7}));
}

TEST(RegionContainer, EmptyRectanglesAreIgnoredAndLoseNoArea)
{
    AFXRegionContainer c;
    c.add({0, 0, 10, 10});
    c.add({5, -5, 5, 20});  // zero height, crossing the stored rectangle
    c.add({-5, 5, 20, 5});  // zero width, crossing it
    ASSERT_EQ(c.size(), 1);
    EXPECT_TRUE(same(c.regions()[0], {0, 0, 10, 10}));

    AFXRegionContainer fresh;
    fresh.add({3, 3, 3, 9});
    EXPECT_EQ(fresh.size(), 0);
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
