#!/usr/bin/env python3
"""Converts a PNG into a C++ source holding it as an inline image in the
serialised GdkPixdata form with raw 8-bit RGBA pixels.

    python3 png_to_gdkp.py SYMBOL IMAGE.png OUTPUT.cpp "description" [CSOURCE.c]

gdk-pixbuf-csource writes the same form, but only for images that carry an
alpha channel: rsvg-convert saves opaque pictures (the front panel) as RGB,
which gdk-pixbuf-csource then dumps as type 0x01010001 with 3-byte pixels. This
converter always writes RGBA (alpha 255 where the PNG has none). Given the
output of `gdk-pixbuf-csource --raw` for the same PNG as CSOURCE.c, it also
checks its own pixels against gdk-pixbuf's, byte for byte.

Only what rsvg-convert writes is read: 8-bit RGB or RGBA, not interlaced.
"""

import re
import struct
import sys
import zlib

GDKP_MAGIC = 0x47646B50
GDKP_RGBA_RAW = 0x01010002   # colour type RGBA, 8 bits per sample, raw encoding


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"{path}: not a PNG")
    pos, idat, header = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", chunk)
        elif kind == b"IDAT":
            idat.append(chunk)
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        raise SystemExit(f"{path}: only 8-bit RGB/RGBA, non-interlaced PNGs are read")
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        base = y * (stride + 1)
        kind = raw[base]
        line = bytearray(raw[base + 1:base + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
            elif kind != 0:
                raise SystemExit(f"{path}: bad filter type {kind}")
        rows.append(line)
        prev = line
    pixels = bytearray()
    for line in rows:
        if channels == 4:
            pixels += line
        else:
            for i in range(0, stride, 3):
                pixels += line[i:i + 3] + b"\xff"
    return width, height, bytes(pixels), channels


def c_string_bytes(csource):
    """The bytes of the string-literal initialiser gdk-pixbuf-csource writes.

    Scans the C text once, so comment markers inside the literals ('/' then
    '*' among the pixel bytes) are taken as data."""
    simple = {"a": 7, "b": 8, "f": 12, "n": 10, "r": 13, "t": 9, "v": 11, "\\": 92, '"': 34, "'": 39, "?": 63}
    text = csource[csource.index("{"):]
    out = bytearray()
    i, n = 0, len(text)
    while i < n:
        ch = text[i]
        if text.startswith("/*", i):
            i = text.index("*/", i) + 2
        elif ch == "}":
            break
        elif ch != '"':
            i += 1
        else:
            i += 1
            while text[i] != '"':
                if text[i] != "\\":
                    out.append(ord(text[i]))
                    i += 1
                    continue
                m = re.match(r"[0-7]{1,3}", text[i + 1:i + 4])
                if m:
                    out.append(int(m.group(0), 8))
                    i += 1 + len(m.group(0))
                else:
                    out.append(simple[text[i + 1]])
                    i += 2
            i += 1
    return bytes(out)


def literal_lines(data, width=76):
    # Three-digit octal escapes end by themselves, so no escape can swallow a
    # following digit; '?' is escaped too so no trigraph can ever form.
    lines, cur = [], ""
    for byte in data:
        ch = chr(byte)
        piece = ch if 32 <= byte < 127 and ch not in '"\\?' else f"\\{byte:03o}"
        if len(cur) + len(piece) > width:
            lines.append(cur)
            cur = ""
        cur += piece
    if cur:
        lines.append(cur)
    return lines


def main():
    if len(sys.argv) not in (5, 6):
        sys.stderr.write(__doc__)
        return 2
    symbol, png, output, description = sys.argv[1:5]
    width, height, pixels, channels = read_png(png)
    rowstride = 4 * width
    header = struct.pack(">6I", GDKP_MAGIC, 24 + rowstride * height, GDKP_RGBA_RAW, rowstride, width, height)
    image = header + pixels

    if len(sys.argv) == 6:
        with open(sys.argv[5], encoding="latin-1") as f:
            theirs = c_string_bytes(f.read())
        if theirs[:4] != b"GdkP":
            raise SystemExit(f"{png}: gdk-pixbuf-csource output has no GdkP magic")
        their_type, their_stride = struct.unpack(">II", theirs[8:16])
        if their_type == GDKP_RGBA_RAW:
            if theirs != image:
                raise SystemExit(f"{png}: pixels differ from gdk-pixbuf-csource's")
        else:
            rgb = theirs[24:]
            mine = bytes(b for i, b in enumerate(pixels) if i % 4 != 3)
            packed = b"".join(rgb[y * their_stride:y * their_stride + 3 * width] for y in range(height))
            if packed != mine or channels != 3:
                raise SystemExit(f"{png}: pixels differ from gdk-pixbuf-csource's RGB dump")

    with open(output, "w", encoding="ascii") as f:
        f.write("// Generated by tools/artwork/generate.sh from tools/artwork/make_svgs.py; do not edit.\n")
        f.write(f"// {width} x {height}: {description}.\n")
        f.write("// Inline image, raw 8-bit RGBA; layout in ze710_images.h.\n")
        f.write('#include "editor/images/ze710_images.h"\n\n')
        f.write(f"alignas(4) const unsigned char {symbol}[] =\n")
        f.write("    // magic \"GdkP\", length, type 0x01010002, rowstride, width, height\n")
        for line in literal_lines(header, 200):
            f.write(f'    "{line}"\n')
        f.write("    // pixels: red, green, blue, alpha\n")
        lines = literal_lines(pixels)
        for line in lines[:-1]:
            f.write(f'    "{line}"\n')
        f.write(f'    "{lines[-1]}";\n\n')
        f.write(f"const unsigned int {symbol}_length = {len(image)};  // 24 + {rowstride} x {height}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
