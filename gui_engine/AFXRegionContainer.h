#pragma once
// The dirty area of one window as a list of pairwise non-overlapping
// rectangles. Adding splits the stored rectangles around the new one instead
// of merging, so every dirty pixel reaches the expose callback once per redraw
// pass. The container has no lock: the engine guards every access with its
// display mutex.

#include "gui_engine/AFXRect.h"

#include <cstdint>

class AFXRegionContainer {
public:
    AFXRegionContainer() = default;
    ~AFXRegionContainer();
    AFXRegionContainer(const AFXRegionContainer&) = delete;
    AFXRegionContainer& operator=(const AFXRegionContainer&) = delete;

    int size() const;            // rectangles in use; 0 before the first insertion
    int capacity() const;        // rectangles allocated
    AFXRect* regions();          // the array itself, null before the first insertion

    // Orders top/bottom and left/right so that top <= bottom and left <= right.
    static AFXRect sanitize(AFXRect r);

    // Appends without any overlap test. Storage starts at 8 rectangles and
    // doubles whenever it is full.
    void push_back(AFXRect r);
    // Last in, first out; an all-zero (empty) rectangle when nothing is left.
    AFXRect pop_back();
    // Removes rectangle i keeping the order of the rest; returns i. An index
    // outside 0..size()-1 removes nothing.
    int erase(int i);
    void swap(AFXRegionContainer& other);
    // Releases the storage; the container is empty afterwards.
    void shrink();

    // Adds r keeping the rectangles disjoint and their union equal to the
    // union of everything added. Empty rectangles are ignored: one that
    // crossed a stored rectangle would otherwise split it and lose area.
    void add(AFXRect r);

private:
    int32_t m_count = 0;
    int32_t m_capacity = 0;
    AFXRect* m_data = nullptr;
};
