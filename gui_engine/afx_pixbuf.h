#pragma once
// The toolkit's in-memory image: 32-bit pixels, bytes red, green, blue, alpha.
// Pixel (x, y) starts at pixels + y * rowstride + 4 * x. The operations on it
// are members of AFX_engine (afx_pixbuf.cpp); they take no lock and make no X
// call, so any thread that owns a buffer may use them.
//
// Ownership: afx_pixbuf_new_with_allocation owns its pixels
// (afx_pixbuf_destroy_with_allocation frees them); afx_pixbuf_new_from_inline
// points into constant image data that must never be drawn on
// (afx_pixbuf_destroy frees the record only).

#include <cstdint>

struct afx_pixbuf {
    int32_t width;          // pixels per row
    int32_t height;         // rows
    int32_t rowstride;      // bytes from one row to the next
    unsigned char* pixels;  // row 0 first
    int32_t parent_window;  // AFX window index; informational only
};
