#ifndef ZE710_GUI_ENGINE_AFX_FONT_GLYPHS_H
#define ZE710_GUI_ENGINE_AFX_FONT_GLYPHS_H

// Glyph records of the built-in anti-aliased bitmap font, one per ISO 8859-1
// code 0..255. The records are static, read-only data (generated into
// afx_font_glyphs.cpp by tools/fontgen/generate.sh from DejaVu Sans); every
// slot is filled. Each record is:
//
//   byte 0   width     columns of the coverage bitmap (unsigned)
//   byte 1   rows      rows of the coverage bitmap (unsigned)
//   byte 2   advance   pen advance in pixels after the glyph (unsigned)
//   byte 3   reserved  always 0
//   byte 4   x offset  signed: bitmap's left column relative to the pen
//   byte 5   y offset  signed: rows of the bitmap above the baseline, so the
//                      bitmap's top row is baseline - y offset
//   byte 6.. coverage  width x rows bytes, top row first, 0 = transparent,
//                      255 = full ink
//
// Control codes 0-31 and 127-159 share one placeholder box (6 x 12, advance 6,
// y offset 9); space and no-break space have no bitmap and advance 3. Over the
// set the widest bitmap or advance is 11 pixels and the tallest bitmap 13 rows.
extern const unsigned char* const afx_font_glyphs[256];

#endif  // ZE710_GUI_ENGINE_AFX_FONT_GLYPHS_H
