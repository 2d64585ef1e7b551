#!/usr/bin/env python3
"""Writes the SVG sources of the editor's compiled-in images.

    python3 tools/artwork/make_svgs.py OUTPUT_DIR

One SVG per image, at the image's exact pixel size; film strips hold their
frames stacked vertically, frame 0 at the top. tools/artwork/generate.sh turns
them into PNGs (rsvg-convert) and then into the inline "GdkP" data under
editor/images/.

Geometry that the editor relies on (panel coordinates, the panel image is
144 x 494 and sits at row 16 of the editor's 144 x 510 buffer):
  knob centres        HF gain (101, 100)  HF freq (44, 140)
                      mid gain (73, 192)  mid width (73, 244)  mid freq (73, 296)
                      LF gain (101, 348)  LF freq (44, 388)
  knob frames         48 x 48, 39 frames, centre of the frame = knob centre
  Effect switch       centre (72, 421), 44 x 20, frame 0 out, frame 1 in
  banner              corner (18, 42), 108 x 16 (drawn opaque by the banner)
  top-strip buttons   centres (54, 8), (90, 8), (124, 8), 32 x 16 each, drawn in
                      the buffer's rows 0-15 above the panel; frame 0 up,
                      frame 1 down

Labels use DejaVu Sans (fonts-dejavu-core), resolved by fontconfig.
"""

import math
import os
import sys

FONT = "DejaVu Sans"

PANEL_W, PANEL_H = 144, 494
KNOB = 48
KNOB_FRAMES = 39
# Pointer sweep: 300 degrees, frame 0 at -150 (lower left), frame 19 straight
# up, frame 38 at +150 (lower right).
SWEEP_DEG = 300.0

KNOBS = {
    "hf_gain": (101, 100),
    "hf_freq": (44, 140),
    "mid_gain": (73, 192),
    "mid_width": (73, 244),
    "mid_freq": (73, 296),
    "lf_gain": (101, 348),
    "lf_freq": (44, 388),
}
SWITCH = (72, 421, 44, 20)
BANNER = (18, 42, 108, 16)
TOP_BUTTONS = {"status": (54, 8), "left": (90, 8), "right": (124, 8)}
BUTTON_W, BUTTON_H = 32, 16

# Palette.
ACCENT = "#f08a1c"          # pointer tips and lit states, close to the banner's text colour
LABEL = "#c3c7cd"
LABEL_DIM = "#7c828b"
SECTION = {"hf": "#6cb4f0", "mid": "#84cc7c", "lf": "#f0866a"}
TICK = "#6d737c"


def frame_angle(frame):
    return -SWEEP_DEG / 2 + SWEEP_DEG * frame / (KNOB_FRAMES - 1)


def polar(cx, cy, r, deg):
    a = math.radians(deg)
    return cx + r * math.sin(a), cy - r * math.cos(a)


def svg(width, height, body, defs=""):
    return (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}">\n<defs>\n{defs}</defs>\n{body}</svg>\n'
    )


def text(x, y, s, size=7.5, fill=LABEL, anchor="start", weight="bold", spacing=0.8, extra=""):
    # Letter spacing adds space after the last letter too; shift centred and
    # right-aligned labels so their ink stays where it is meant to be.
    shift = {"start": 0.0, "middle": spacing / 2, "end": spacing}[anchor]
    return (
        f'<text x="{x + shift:.2f}" y="{y}" font-family="{FONT}" font-weight="{weight}" '
        f'font-size="{size}" letter-spacing="{spacing}" text-anchor="{anchor}" fill="{fill}"{extra}>{s}</text>\n'
    )


# ---------------------------------------------------------------- knob strip

def knob_defs():
    return (
        '<filter id="shadow" x="-50%" y="-50%" width="200%" height="200%">'
        '<feGaussianBlur stdDeviation="1.6"/></filter>\n'
        '<linearGradient id="skirt" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#3b3f45"/><stop offset="1" stop-color="#15171a"/></linearGradient>\n'
        '<linearGradient id="rim" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#5d626a"/><stop offset="0.5" stop-color="#2a2d32"/>'
        '<stop offset="1" stop-color="#1a1c1f"/></linearGradient>\n'
        '<radialGradient id="cap" cx="0.5" cy="0.28" r="0.75">'
        '<stop offset="0" stop-color="#4a4f57"/><stop offset="0.6" stop-color="#33373d"/>'
        '<stop offset="1" stop-color="#272a2f"/></radialGradient>\n'
        '<linearGradient id="capedge" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#6a7079"/><stop offset="1" stop-color="#1c1e21"/></linearGradient>\n'
    )


def knob_frame(angle):
    """One knob, centred on (24, 24) of its 48 x 48 frame, pointer at angle."""
    c = KNOB / 2
    out = []
    # Soft drop shadow straight down: the light comes from above, so every
    # frame stays mirror-symmetric apart from the pointer.
    out.append(f'<circle cx="{c}" cy="{c + 1.6}" r="17" fill="#000" opacity="0.75" filter="url(#shadow)"/>')
    # Skirt with grip flutes that turn with the knob.
    out.append(f'<circle cx="{c}" cy="{c}" r="16.5" fill="url(#skirt)" stroke="#0b0c0e" stroke-width="1"/>')
    flutes = []
    for i in range(24):
        a = angle + 7.5 + i * 15.0
        x1, y1 = polar(c, c, 14.2, a)
        x2, y2 = polar(c, c, 16.0, a)
        flutes.append(f'M{x1:.3f},{y1:.3f}L{x2:.3f},{y2:.3f}')
    out.append(f'<path d="{" ".join(flutes)}" stroke="#0d0e10" stroke-width="1.1" opacity="0.55"/>')
    # Cap: raised disc lit from above.
    out.append(f'<circle cx="{c}" cy="{c}" r="12.6" fill="url(#capedge)"/>')
    out.append(f'<circle cx="{c}" cy="{c}" r="11.8" fill="url(#cap)"/>')
    # Pointer: a bright line across skirt and cap with an accent tip.
    x1, y1 = polar(c, c, 4.5, angle)
    x2, y2 = polar(c, c, 16.2, angle)
    xt, yt = polar(c, c, 11.2, angle)
    out.append(f'<line x1="{x1:.3f}" y1="{y1:.3f}" x2="{x2:.3f}" y2="{y2:.3f}" stroke="#08090a" '
               f'stroke-width="3.6" stroke-linecap="round" opacity="0.5"/>')
    out.append(f'<line x1="{x1:.3f}" y1="{y1:.3f}" x2="{xt:.3f}" y2="{yt:.3f}" stroke="#eceef0" '
               f'stroke-width="2" stroke-linecap="round"/>')
    out.append(f'<line x1="{xt:.3f}" y1="{yt:.3f}" x2="{x2:.3f}" y2="{y2:.3f}" stroke="{ACCENT}" '
               f'stroke-width="2" stroke-linecap="round"/>')
    return "\n".join(out) + "\n"


def knob_strip():
    body = []
    for f in range(KNOB_FRAMES):
        body.append(f'<g transform="translate(0,{f * KNOB})">\n{knob_frame(frame_angle(f))}</g>\n')
    return svg(KNOB, KNOB * KNOB_FRAMES, "".join(body), knob_defs())


# ------------------------------------------------------------ Effect switch

def switch_strip():
    w, h = SWITCH[2], SWITCH[3]
    defs = (
        '<linearGradient id="up" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#464a51"/><stop offset="1" stop-color="#2a2d32"/></linearGradient>\n'
        '<linearGradient id="down" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#23262a"/><stop offset="1" stop-color="#33373d"/></linearGradient>\n'
        '<radialGradient id="glow"><stop offset="0" stop-color="#ffb040" stop-opacity="0.85"/>'
        '<stop offset="1" stop-color="#ff8a00" stop-opacity="0"/></radialGradient>\n'
        '<radialGradient id="led_on" cx="0.4" cy="0.35" r="0.7"><stop offset="0" stop-color="#ffe0a0"/>'
        '<stop offset="0.5" stop-color="#ff9a1a"/><stop offset="1" stop-color="#c05a00"/></radialGradient>\n'
        '<radialGradient id="led_off" cx="0.4" cy="0.35" r="0.7"><stop offset="0" stop-color="#4a3a2c"/>'
        '<stop offset="1" stop-color="#1d1712"/></radialGradient>\n'
    )
    body = []
    for f, lit in ((0, False), (1, True)):
        y0 = f * h
        g = [f'<g transform="translate(0,{y0})">']
        # Two transparent rows on top: the LF freq knob's rectangle reaches the
        # switch's first row, and its repaint restores only the panel there.
        g.append('<rect x="2" y="3" width="40" height="16" rx="3" fill="#000" opacity="0.55"/>')
        g.append('<rect x="2.5" y="2.5" width="39" height="15" rx="2.5" fill="#0c0d0f"/>')
        if lit:
            g.append('<rect x="3.5" y="3.5" width="37" height="13" rx="2" fill="url(#down)"/>')
            g.append('<path d="M4.5,4.5H39.5" stroke="#000" stroke-width="1" opacity="0.5"/>')
            g.append('<circle cx="11" cy="10" r="6" fill="url(#glow)"/>')
            g.append('<circle cx="11" cy="10" r="2.6" fill="url(#led_on)"/>')
            g.append(text(27.5, 13, "IN", size=7.5, fill="#f4f4f4", anchor="middle", spacing=0.6).strip())
        else:
            g.append('<rect x="3.5" y="3.5" width="37" height="13" rx="2" fill="url(#up)"/>')
            g.append('<path d="M5,3.5H39" stroke="#ffffff" stroke-width="1" opacity="0.16"/>')
            g.append('<circle cx="11" cy="10" r="2.6" fill="url(#led_off)" stroke="#000" stroke-width="0.6" '
                     'stroke-opacity="0.6"/>')
            g.append(text(27.5, 13, "OUT", size=7.5, fill=LABEL_DIM, anchor="middle", spacing=0.6).strip())
        g.append('</g>')
        body.append("\n".join(g) + "\n")
    return svg(w, 2 * h, "".join(body), defs)


# ------------------------------------------------------- top-strip buttons

def button_strip(kind):
    """Two frames 32 x 16: up, down. Fully opaque: the top strip around the
    buttons is black and the panel rows under them carry other artwork."""
    w, h = BUTTON_W, BUTTON_H
    defs = (
        '<linearGradient id="up" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#41454c"/><stop offset="1" stop-color="#27292e"/></linearGradient>\n'
        '<linearGradient id="down" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#1c1e21"/><stop offset="1" stop-color="#2c2f34"/></linearGradient>\n'
    )
    body = []
    for f in range(2):
        down = f == 1
        g = [f'<g transform="translate(0,{f * h})">', f'<rect width="{w}" height="{h}" fill="#000"/>']
        g.append('<rect x="1.5" y="1.5" width="29" height="13" rx="2.5" fill="url(#%s)" stroke="#55595f" '
                 'stroke-opacity="%s"/>' % ("down" if down else "up", "0.35" if down else "0.55"))
        if not down:
            g.append('<path d="M4,2.5H28" stroke="#fff" stroke-width="1" opacity="0.14"/>')
        ink = ACCENT if down else "#d6d9dd"
        dy = 0.5 if down else 0.0
        if kind == "status":
            # "i" in a ring: shows the version.
            g.append(f'<circle cx="16" cy="{8 + dy}" r="4.6" fill="none" stroke="{ink}" stroke-width="1.1"/>')
            g.append(f'<rect x="15.35" y="{7.2 + dy}" width="1.3" height="3.6" fill="{ink}"/>')
            g.append(f'<rect x="15.35" y="{5.0 + dy}" width="1.3" height="1.3" fill="{ink}"/>')
        else:
            # Triangles pointing to the previous / next program.
            if kind == "left":
                pts = f"12.5,{8 + dy} 18.5,{4.5 + dy} 18.5,{11.5 + dy}"
            else:
                pts = f"19.5,{8 + dy} 13.5,{4.5 + dy} 13.5,{11.5 + dy}"
            g.append(f'<polygon points="{pts}" fill="{ink}"/>')
        g.append('</g>')
        body.append("\n".join(g) + "\n")
    return svg(w, 2 * h, "".join(body), defs)


# -------------------------------------------------------------- window icon

def window_icon():
    defs = (
        '<linearGradient id="bg" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#3a3e45"/><stop offset="1" stop-color="#1b1d21"/></linearGradient>\n'
    )
    # An equaliser curve: low shelf down, mid bell up, high shelf up.
    pts = []
    for i in range(0, 57):
        x = 4 + i * 0.42
        t = (x - 4) / 24.0
        y = 18 + 4.5 * (1 / (1 + math.exp((t - 0.18) * 30))) \
            - 7.0 * math.exp(-((t - 0.52) / 0.12) ** 2) \
            - 3.5 * (1 / (1 + math.exp(-(t - 0.86) * 30)))
        pts.append(f"{x:.2f},{y:.2f}")
    body = (
        '<rect x="1" y="1" width="30" height="30" rx="6" fill="url(#bg)" stroke="#0c0d0f" stroke-width="1"/>\n'
        '<path d="M4.5,18.5H27.5" stroke="#6d737c" stroke-width="1" opacity="0.6"/>\n'
        f'<polyline points="{" ".join(pts)}" fill="none" stroke="{ACCENT}" stroke-width="2.2" '
        'stroke-linecap="round" stroke-linejoin="round"/>\n'
        f'<text x="16" y="28.5" font-family="{FONT}" font-weight="bold" font-size="6.2" text-anchor="middle" '
        'fill="#e6e8ea">ZE710</text>\n'
    )
    return svg(32, 32, body, defs)


# -------------------------------------------------------------- front panel

def scale_ticks(cx, cy, colour):
    """Eleven ticks around a knob, the centre one longer and in the section colour."""
    out = []
    for i in range(11):
        a = -150 + 30 * i
        centre = i == 5
        r1 = 19.6 if centre else 19.8
        r2 = 23.4 if centre else 22.2
        x1, y1 = polar(cx, cy, r1, a)
        x2, y2 = polar(cx, cy, r2, a)
        col = colour if centre else TICK
        wdt = 1.4 if centre else 1.1
        out.append(f'<line x1="{x1:.3f}" y1="{y1:.3f}" x2="{x2:.3f}" y2="{y2:.3f}" stroke="{col}" '
                   f'stroke-width="{wdt}" stroke-linecap="round"/>')
    return "\n".join(out) + "\n"


def well(cx, cy):
    """A shallow recess the knob sits in, so the panel reads right without knobs too."""
    return (f'<circle cx="{cx}" cy="{cy}" r="18" fill="url(#well)"/>\n'
            f'<circle cx="{cx}" cy="{cy}" r="17.5" fill="none" stroke="#000" stroke-opacity="0.35"/>\n')


def groove(y, x1=8, x2=136):
    return (f'<path d="M{x1},{y + 0.5}H{x2}" stroke="#131518" stroke-width="1"/>\n'
            f'<path d="M{x1},{y + 1.5}H{x2}" stroke="#3a3e45" stroke-width="1" opacity="0.7"/>\n')


def gain_marks(cx, cy):
    """Minus and plus at the ends of a gain knob's sweep."""
    xm, ym = polar(cx, cy, 25.5, -150)
    xp, yp = polar(cx, cy, 25.5, 150)
    return (f'<path d="M{xm - 2:.2f},{ym:.2f}h4" stroke="{LABEL_DIM}" stroke-width="1.1"/>\n'
            f'<path d="M{xp - 2:.2f},{yp:.2f}h4M{xp:.2f},{yp - 2:.2f}v4" stroke="{LABEL_DIM}" stroke-width="1.1"/>\n')


def front_panel():
    defs = (
        '<linearGradient id="face" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#2d3035"/><stop offset="1" stop-color="#202327"/></linearGradient>\n'
        '<linearGradient id="header" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#141518"/><stop offset="1" stop-color="#1b1d20"/></linearGradient>\n'
        '<radialGradient id="well" cx="0.5" cy="0.45" r="0.55">'
        '<stop offset="0.6" stop-color="#16181b"/><stop offset="1" stop-color="#2a2d32"/></radialGradient>\n'
        '<linearGradient id="bezel" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#0a0b0c"/><stop offset="1" stop-color="#4a4f57"/></linearGradient>\n'
        '<linearGradient id="footer" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#1b1d20"/><stop offset="1" stop-color="#141518"/></linearGradient>\n'
    )
    b = []
    b.append(f'<rect width="{PANEL_W}" height="{PANEL_H}" fill="url(#face)"/>\n')
    # Side edges: light on the left, shade on the right, like a folded metal strip.
    b.append(f'<path d="M0.5,0V{PANEL_H}" stroke="#42464d"/>\n')
    b.append(f'<path d="M{PANEL_W - 0.5},0V{PANEL_H}" stroke="#111214"/>\n')

    # Header (rows 0-14): continues the black strip of buttons above it and
    # names them.
    b.append(f'<rect width="{PANEL_W}" height="15" fill="url(#header)"/>\n')
    b.append(f'<path d="M0,15.5H{PANEL_W}" stroke="#3a3e45" opacity="0.8"/>\n')
    b.append(text(54, 10, "INFO", size=6.5, fill=LABEL_DIM, anchor="middle", spacing=0.9))
    b.append(text(107, 10, "PROGRAM", size=6.5, fill=LABEL_DIM, anchor="middle", spacing=0.9))
    b.append(f'<path d="M{76},7.5H{82}M{132},7.5H{138}" stroke="{LABEL_DIM}" stroke-width="1" opacity="0.7"/>\n')

    # Title.
    b.append(text(18, 34, "ZE710", size=14, fill="#e9ebee", spacing=0.4))
    b.append(text(126, 28, "STEREO", size=6.2, fill=LABEL_DIM, anchor="end", spacing=0.9))
    b.append(text(126, 35, "CHANNEL EQ", size=6.2, fill=LABEL_DIM, anchor="end", spacing=0.7))

    # Display window for the text banner; its inside is covered by the banner.
    bx, by, bw, bh = BANNER
    b.append(f'<rect x="{bx - 2.5}" y="{by - 2.5}" width="{bw + 5}" height="{bh + 5}" rx="3" fill="url(#bezel)"/>\n')
    b.append(f'<rect x="{bx - 1}" y="{by - 1}" width="{bw + 2}" height="{bh + 2}" rx="1.5" fill="#000"/>\n')

    # Section grooves and titles.
    b.append(groove(64))
    b.append(groove(165))
    b.append(groove(321))
    b.append(text(9, 77, "HIGH", size=8, fill=SECTION["hf"], spacing=1.0))
    b.append(text(9, 178, "MID", size=8, fill=SECTION["mid"], spacing=1.0))
    b.append(text(9, 334, "LOW", size=8, fill=SECTION["lf"], spacing=1.0))

    for name, (cx, cy) in KNOBS.items():
        b.append(well(cx, cy))
        b.append(scale_ticks(cx, cy, SECTION[name.split("_")[0]]))
        if name.endswith("gain"):
            b.append(gain_marks(cx, cy))

    # Knob labels on the free side of each knob.
    b.append(text(73, 103, "GAIN", anchor="end"))       # HF gain, left of it
    b.append(text(72, 143, "FREQ"))                     # HF freq, right of it
    b.append(text(100, 195, "GAIN"))                    # mid column, right of the knobs
    b.append(text(100, 247, "WIDTH"))
    b.append(text(100, 299, "FREQ"))
    b.append(text(73, 351, "GAIN", anchor="end"))       # LF gain, left of it
    b.append(text(72, 391, "FREQ"))                     # LF freq, right of it

    # Effect switch: a seat under the button and its name below it.
    sx, sy, sw, sh = SWITCH
    b.append(f'<rect x="{sx - sw / 2 + 1.5}" y="{sy - sh / 2 + 1.5}" width="{sw - 3}" height="{sh - 3}" rx="3.5" '
             'fill="#121316" stroke="#3a3e45" stroke-opacity="0.6"/>\n')
    b.append(text(sx, 443, "EFFECT", size=7, spacing=0.8, anchor="middle"))

    # Footer: the maker's name on a darker plate.
    b.append(groove(451, 0, PANEL_W))
    b.append(f'<rect x="0" y="453" width="{PANEL_W}" height="{PANEL_H - 453}" fill="url(#footer)"/>\n')
    b.append(f'<path d="M0.5,453V{PANEL_H}" stroke="#33363c"/>\n')
    b.append(text(72, 476, "KESTRELWOOD", size=7, fill=LABEL_DIM, anchor="middle", spacing=1.6))
    b.append(f'<path d="M21,473.5H29M115,473.5H123" stroke="{LABEL_DIM}" stroke-width="1" opacity="0.6"/>\n')
    return svg(PANEL_W, PANEL_H, "".join(b), defs)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_svgs.py OUTPUT_DIR\n")
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    images = {
        "front_panel": front_panel(),
        "knob_strip": knob_strip(),
        "bypass_strip": switch_strip(),
        "status_strip": button_strip("status"),
        "left_strip": button_strip("left"),
        "right_strip": button_strip("right"),
        "window_icon": window_icon(),
    }
    for name, content in images.items():
        with open(os.path.join(out, name + ".svg"), "w", encoding="utf-8") as f:
            f.write(content)
    return 0


if __name__ == "__main__":
    sys.exit(main())
