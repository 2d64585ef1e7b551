#pragma once
// A dirty rectangle of a window, in device pixels: top and left inclusive,
// bottom and right exclusive, so a rectangle at (x, y) of size w x h is
// {y, x, y + h, x + w}. Passed by value.

#include <cstdint>

struct AFXRect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;

    bool empty() const { return top == bottom || left == right; }
};
