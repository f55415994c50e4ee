#!/usr/bin/env python3
"""Draws Talvik's pictures and writes them into src/app/resources/.

Writes the lamp pictures, the button glyphs, the program icon (ICO and PNG), the logo (JPEG,
through ImageMagick's convert) and the Windows resource script with the version record.
Everything but the logo is written byte by byte here; the output is committed, so the build
needs neither Python nor ImageMagick.

    python3 tools/resgen/resgen.py            # rewrite every file
    python3 tools/resgen/resgen.py --preview  # also write enlarged PNGs to build/respreview/
"""

import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
OUT = os.path.join(ROOT, "src", "app", "resources")

# The standard 16-colour palette, in the order the lamp bitmaps index it.
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
OLIVE = VGA[3]

# --------------------------------------------------------------------------------------------
# File writers


def bmp_file(width, height, bpp, pixel_rows, palette=()):
    """A BITMAPFILEHEADER + BITMAPINFOHEADER file; pixel_rows are top row first, packed."""
    stride = (width * bpp + 31) // 32 * 4
    body = b"".join(row.ljust(stride, b"\0") for row in reversed(pixel_rows))
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(body), 3780, 3780,
                       len(palette), 0)
    head = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    return head + info + pal + body


def bmp24(img):
    rows = [b"".join(bytes((b, g, r)) for (r, g, b) in row) for row in img]
    return bmp_file(len(img[0]), len(img), 24, rows)


def pack4(indices):
    out = bytearray()
    for i in range(0, len(indices), 2):
        hi = indices[i]
        lo = indices[i + 1] if i + 1 < len(indices) else 0
        out.append(hi << 4 | lo)
    return bytes(out)


def bmp4(index_rows):
    return bmp_file(len(index_rows[0]), len(index_rows), 4, [pack4(r) for r in index_rows], VGA)


def ico(images):
    """An icon file of 16-colour images; each image is rows of palette indices or None."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for rows in images:
        size = len(rows)
        xor_rows = [pack4([0 if i is None else i for i in r]) for r in rows]
        and_rows = []
        for r in rows:
            bits = bytearray((size + 7) // 8)
            for x, i in enumerate(r):
                if i is None:
                    bits[x // 8] |= 0x80 >> (x % 8)
            and_rows.append(bytes(bits))
        xor_stride = (size * 4 + 31) // 32 * 4
        and_stride = (size + 31) // 32 * 4
        xor = b"".join(r.ljust(xor_stride, b"\0") for r in reversed(xor_rows))
        mask = b"".join(r.ljust(and_stride, b"\0") for r in reversed(and_rows))
        pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in VGA)
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                           0, 0, 0, 0)
        blob = info + pal + xor + mask
        entries.append(struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def png(rgba_rows):
    h, w = len(rgba_rows), len(rgba_rows[0])
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rgba_rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


# --------------------------------------------------------------------------------------------
# Drawing helpers: a picture is a list of rows of (r, g, b) tuples.


def canvas(w, h, colour):
    return [[colour] * w for _ in range(h)]


def from_grid(grid, key, background):
    img = []
    for line in grid:
        img.append([background if ch == "." else key[ch] for ch in line])
    return img


def overlay(img, grid, key):
    for y, line in enumerate(grid):
        for x, ch in enumerate(line):
            if ch != ".":
                img[y][x] = key[ch]


def hexrgb(s):
    return tuple(int(s[i:i + 2], 16) for i in (0, 2, 4))


def luminance(c):
    return 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2]


def disabled_look(img, transparent):
    """The greyed picture of a disabled button: the dark parts in grey, embossed with white."""
    h, w = len(img), len(img[0])
    dark = [[img[y][x] != transparent and luminance(img[y][x]) < 160 for x in range(w)]
            for y in range(h)]
    out = canvas(w, h, transparent)
    for y in range(h):
        for x in range(w):
            if dark[y][x]:
                out[y][x] = VGA[8]
            elif y > 0 and x > 0 and dark[y - 1][x - 1]:
                out[y][x] = VGA[15]
    return out


def strip(left, right):
    return [a + b for a, b in zip(left, right)]


def check_transparent_unused(name, img, transparent):
    """The bottom-left pixel's colour is transparent everywhere, so nothing may be drawn in it."""
    if img[-1][0] != transparent:
        sys.exit(f"{name}: bottom-left pixel is not the transparent colour")


# --------------------------------------------------------------------------------------------
# Lamps: 16 by 10, 4 bits per pixel, standard palette, pixel for pixel as the lamp table.

LAMP_ON = [
    "OGGGGGGGGGGGGGGO",
    "GGWWWWLLLLLLLLGG",
    "GWWLLLLLLLLLLLLG",
    "GWWLLLLLLLLLLLLG",
    "GWLLLLLLLLLLLLLG",
    "GWLLLLLLLLLLLLLG",
    "GLLLLLLLLLLLLLLG",
    "GLLLLLLLLLLLLLLG",
    "GGLLLLLLLLLLLLGG",
    "OGGGGGGGGGGGGGGO",
]
LAMP_OFF = [
    "ODDDDDDDDDDDDDDO",
    "DDWWWWSSSSSSSSDD",
    "DWWSSSSSSSSSSSSD",
    "DWWSSSSSSSSSSSSD",
    "DWSSSSSSSSSSSSSD",
    "DWSSSSSSSSSSSSSD",
    "DSSSSSSSSSSSSSSD",
    "DSSSSSSSSSSSSSSD",
    "DDSSSSSSSSSSSSDD",
    "ODDDDDDDDDDDDDDO",
]
LAMP_KEY = {"O": 3, "G": 2, "L": 10, "D": 8, "S": 7, "W": 15}


def lamps():
    for name, grid in (("on.bmp", LAMP_ON), ("off.bmp", LAMP_OFF)):
        write(name, bmp4([[LAMP_KEY[ch] for ch in row] for row in grid]))


# --------------------------------------------------------------------------------------------
# Button glyphs: 16 by 16, 24-bit, olive (the bottom-left pixel) transparent.

GLYPH_KEY = {
    "k": (0x00, 0x00, 0x00),
    "K": hexrgb("800000"),  # dark red outline
    "r": hexrgb("C00000"),
    "R": hexrgb("FF0000"),
    "H": hexrgb("FF8080"),  # highlight on red
    "W": (0xFF, 0xFF, 0xFF),
    "S": hexrgb("C0C0C0"),
    "D": hexrgb("606060"),
    "Y": hexrgb("FFFF00"),
    "y": hexrgb("FFC800"),
    "b": hexrgb("4060E0"),  # ruled lines
    "s": hexrgb("FFD0A0"),  # skin
    "t": hexrgb("D89060"),  # skin shade
    "p": hexrgb("2040C0"),  # pen
    "o": hexrgb("A05A10"),  # wood
    "O": hexrgb("D08A30"),
    "f": hexrgb("F0C850"),  # straw
    "F": hexrgb("C09020"),
    "g": hexrgb("806010"),
    "B": hexrgb("2050D0"),  # binding
}

HELP_MARK = [
    "................",
    "................",
    "................",
    "......KKKK......",
    ".....KRRRRK.....",
    "....KRRKKRRK....",
    "....KKK..KRRK...",
    "........KRRK....",
    ".......KRRK.....",
    ".......KRRK.....",
    "........KK......",
    ".......KRRK.....",
    ".......KRRK.....",
    "........KK......",
    "................",
    "................",
]

PHONE_BODY = [
    "....KRRRRRRK....",
    "...KRRWWWWRRK...",
    "...KRWkWWkWRK...",
    "..KRRWWKKWWRRK..",
    "..KRRWkWWkWRRK..",
    ".KRRRRWWWWRRRrK.",
    ".KRRRRRRRRRRrrK.",
    ".KKKKKKKKKKKKKK.",
]

CONNECT = [
    "................",
    "..KKKKKKKKKKKK..",
    ".KHHHRRRRRRRRrK.",
    ".KRRrKKKKKKKrrK.",
    ".KRrK......KrrK.",
    ".KKK.KK..KK.KKK.",
    ".....KRKKRK.....",
] + PHONE_BODY + ["................"]

DISCONNECT = [
    ".KKK.....Y...Y..",
    "KHRRKK...Y..Y...",
    "KRRRRRKKK.......",
    ".KKrRRRRRKK..YY.",
    "Y...KKKKRRrK....",
    ".YY.....KRrK..YY",
    ".....KK..KK.....",
] + PHONE_BODY + ["................"]

SAVE = [
    "............kk..",
    "...........ksSk.",
    "..........kssssk",
    ".k.k.k.k.ksssstk",
    "kSkSkSkSksssstk.",
    "kWWWWWWWkssttk..",
    "kWbbbbbkpkkkk...",
    "kWWWWWkpk.......",
    "kWbbbkpkWk......",
    "kWWWWkkWWk......",
    "kWbbbbbbWk......",
    "kWWWWWWWWk......",
    "kWbbbbbbWk......",
    "kWWWWWWWWk......",
    "kkkkkkkkkk......",
    "................",
]

BROOM = [
    "...............g",
    "..............gO",
    ".............gOo",
    "............gOo.",
    "...........gOo..",
    "..........gOo...",
    ".........gOo....",
    "......gBBOo.....",
    ".....gBBBBg.....",
    "....gfBBBFg.....",
    "...gffffFFg.....",
    "..gffFfFfFg.....",
    ".gfFfFfFfg......",
    "gfFfFfFfFg......",
    ".gggggggg.......",
    "................",
]


def help_disc():
    img = canvas(16, 16, OLIVE)
    for y in range(16):
        for x in range(16):
            d = math.hypot(x + 0.5 - 8, y + 0.5 - 8)
            if d <= 7.7:
                if d > 6.7:
                    img[y][x] = hexrgb("B07800")
                else:
                    light = ((x - 5) ** 2 + (y - 5) ** 2) ** 0.5
                    img[y][x] = hexrgb("FFFF90") if light < 2.5 else (
                        hexrgb("FFFF00") if light < 7 else hexrgb("F0C800"))
    overlay(img, HELP_MARK, GLYPH_KEY)
    return img


def glyphs():
    made = {}
    made["glyph_help.bmp"] = help_disc()
    made["glyph_connect.bmp"] = from_grid(CONNECT, GLYPH_KEY, OLIVE)
    made["glyph_disconnect.bmp"] = from_grid(DISCONNECT, GLYPH_KEY, OLIVE)
    made["glyph_save.bmp"] = from_grid(SAVE, GLYPH_KEY, OLIVE)
    broom = from_grid(BROOM, GLYPH_KEY, OLIVE)
    for name, img in made.items():
        assert len(img) == 16 and all(len(r) == 16 for r in img), name
        check_transparent_unused(name, img, OLIVE)
        write(name, bmp24(strip(img, disabled_look(img, OLIVE))))
    check_transparent_unused("glyph_clr.bmp", broom, OLIVE)
    write("glyph_clr.bmp", bmp24(broom))
    made["glyph_clr.bmp"] = broom
    return made


# --------------------------------------------------------------------------------------------
# Program icon: a small terminal screen with received text and a lit lamp, 16 colours.


def icon_picture(size):
    """Rows of palette indices (None where transparent) for a size by size icon."""
    s = size / 32.0
    rows = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, idx):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(round(y1 * s)))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(round(x1 * s)))):
                if 0 <= x < size and 0 <= y < size:
                    rows[y][x] = idx

    # case
    rect(1, 2, 31, 25, 8)
    rect(1, 2, 30, 24, 7)
    rect(2, 3, 30, 24, 15)
    rect(3, 4, 30, 24, 7)
    # screen
    rect(4, 5, 28, 20, 0)
    if size >= 32:
        for i, (y, n) in enumerate(((7, 12), (10, 18), (13, 9), (16, 15))):
            rect(6, y, 6 + n, y + 2, 10 if i < 3 else 2)
        rect(24, 22, 28, 24, 10)  # lamp
        rect(5, 22, 10, 23, 8)
    else:
        for y, x1 in ((3, 11), (5, 13), (7, 9)):
            for x in range(3, x1):
                rows[y][x] = 10
        rows[11][12] = 10
        rows[11][13] = 10
    # stand and cable
    rect(12, 25, 20, 27, 8)
    rect(8, 27, 24, 30, 7)
    rect(8, 29, 24, 30, 8)
    return rows


def icons():
    big, small = icon_picture(32), icon_picture(16)
    write("talvik.ico", ico([small, big]))
    write("talvik.png", png([[(0, 0, 0, 0) if i is None else VGA[i] + (255,) for i in r]
                             for r in big]))
    return big, small


# --------------------------------------------------------------------------------------------
# Logo: 384 by 260 JPEG, drawn by ImageMagick from primitives and text.

LOGO_FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
LOGO_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def logo(maker_name_short):
    w, h = 384, 260
    cx, cy, r = 192, 104, 66
    draw = []
    # dial: a ring, a 240 degree scale with ticks, a needle
    draw += ["fill none", "stroke #1F4E79", "stroke-width 7",
             f"circle {cx},{cy} {cx + r},{cy}"]
    draw += ["stroke-width 3", "stroke #2E75B6"]
    for i in range(13):
        a = math.radians(210 - i * 20)
        inner = r - (22 if i % 2 == 0 else 15)
        x0, y0 = cx + (r - 10) * math.cos(a), cy - (r - 10) * math.sin(a)
        x1, y1 = cx + inner * math.cos(a), cy - inner * math.sin(a)
        draw.append(f"line {x0:.1f},{y0:.1f} {x1:.1f},{y1:.1f}")
    # coloured band on the upper end of the scale
    draw += ["stroke #C00000", "stroke-width 5",
             f"arc {cx - r + 8},{cy - r + 8} {cx + r - 8},{cy + r - 8} -30,0"]
    a = math.radians(105)
    nx, ny = cx + (r - 18) * math.cos(a), cy - (r - 18) * math.sin(a)
    draw += ["stroke #C00000", "stroke-width 4", f"line {cx},{cy} {nx:.1f},{ny:.1f}",
             "stroke none", "fill #1F4E79", f"circle {cx},{cy} {cx + 8},{cy}"]
    # a sine wave through the lower half of the dial
    pts = []
    for i in range(0, 81):
        x = cx - 40 + i
        y = cy + 34 - 9 * math.sin(i / 80 * 2 * math.pi * 1.5)
        pts.append(f"{x},{y:.1f}")
    draw += ["fill none", "stroke #2E75B6", "stroke-width 3", "polyline " + " ".join(pts)]

    # fill and stroke are settings of the command line, the rest drawing primitives
    cmd = ["convert", "-size", f"{w}x{h}", "gradient:#FFFFFF-#DCE8F4"]
    for d in draw:
        key, _, val = d.partition(" ")
        if key == "fill":
            cmd += ["-fill", val]
        elif key == "stroke":
            cmd += ["-stroke", val]
        elif key == "stroke-width":
            cmd += ["-strokewidth", val]
        else:
            cmd += ["-draw", d]
    cmd += ["-stroke", "none",
            "-fill", "#1F4E79", "-font", LOGO_FONT_BOLD, "-pointsize", "46",
            "-gravity", "north", "-annotate", "+0+178", maker_name_short,
            "-fill", "#C00000", "-draw", "rectangle 72,232 312,234",
            "-fill", "#404040", "-font", LOGO_FONT, "-pointsize", "19",
            "-annotate", "+0+236", "измерительные приборы",
            "-gravity", "none", "-fill", "none", "-stroke", "#1F4E79", "-strokewidth", "2",
            "-draw", f"rectangle 1,1 {w - 2},{h - 2}",
            "-strip", "-sampling-factor", "1x1", "-quality", "92",
            os.path.join(OUT, "logo.jpg")]
    subprocess.run(cmd, check=True)


# --------------------------------------------------------------------------------------------
# Windows resource script, with the version record filled from maker.h.


def maker_field(text, name):
    m = re.search(r"inline constexpr std::string_view " + name + r"\s*=\s*\"((?:[^\"\\]|\\.)*)\";",
                  text)
    if not m:
        sys.exit(f"maker.h: {name} not found")
    return m.group(1)


def rc_string(s):
    """A string literal for the resource compiler, in code page 1251."""
    return '"' + s.replace('"', '""') + '"'


RC_TEMPLATE = """\
// Talvik's Windows resources: the program icon, the lamp bitmaps and the version record.
// This file is in code page 1251; tools/resgen/resgen.py writes it from maker.h.
// The file is an application for 32-bit Windows: FILEOS 0x4 (VOS__WINDOWS32), FILETYPE 0x1
// (VFT_APP).
#pragma code_page(1251)

LANGUAGE 0x19, 0x1

MAINICON ICON "talvik.ico"
ON BITMAP "on.bmp"
OFF BITMAP "off.bmp"

1 VERSIONINFO
FILEVERSION 2,0,0,0
PRODUCTVERSION 2,0,0,0
FILEFLAGSMASK 0x3fL
FILEFLAGS 0x0L
FILEOS 0x4L
FILETYPE 0x1L
FILESUBTYPE 0x0L
BEGIN
    BLOCK "StringFileInfo"
    BEGIN
        BLOCK "041904E3"
        BEGIN
            VALUE "CompanyName", {company}
            VALUE "FileDescription", "Talvik"
            VALUE "FileVersion", "2.0.0.0"
            VALUE "InternalName", "Talvik"
            VALUE "LegalCopyright", {legal}
            VALUE "LegalTrademarks", ""
            VALUE "OriginalFilename", "Talvik"
            VALUE "ProductName", ""
            VALUE "ProductVersion", "1.0.0.0"
            VALUE "Comments", ""
        END
    END
    BLOCK "VarFileInfo"
    BEGIN
        VALUE "Translation", 0x419, 1251
    END
END
"""


def resource_script():
    with open(os.path.join(OUT, "maker.h"), encoding="utf-8") as f:
        text = f.read()
    name = maker_field(text, "kName")
    notice = maker_field(text, "kRightsNotice")
    rc = RC_TEMPLATE.format(company=rc_string(name), legal=rc_string(notice))
    write("talvik.rc", rc.replace("\n", "\r\n").encode("cp1251"))
    return maker_field(text, "kNameLatin")


# --------------------------------------------------------------------------------------------


def preview(made, big, small):
    """Enlarged PNGs of every picture, to look at."""
    out = os.path.join(ROOT, "build", "respreview")
    os.makedirs(out, exist_ok=True)
    for name in list(made) + ["on.bmp", "off.bmp"]:
        subprocess.run(["convert", os.path.join(OUT, name), "-scale", "1600%",
                        os.path.join(out, name.replace(".bmp", ".png"))], check=True)
    for i, pic in enumerate((small, big)):
        rgba = [[(255, 0, 255, 255) if p is None else VGA[p] + (255,) for p in r] for r in pic]
        with open(os.path.join(out, f"icon{i}.png"), "wb") as f:
            f.write(png(rgba))
        subprocess.run(["convert", os.path.join(out, f"icon{i}.png"), "-scale",
                        "1200%" if i == 0 else "600%", os.path.join(out, f"icon{i}.png")],
                       check=True)
    subprocess.run(["convert", os.path.join(OUT, "logo.jpg"), "-resize", "210x142",
                    os.path.join(out, "logo_small.png")], check=True)


def main():
    latin = resource_script()
    lamps()
    made = glyphs()
    big, small = icons()
    with open(os.path.join(OUT, "maker.h"), encoding="utf-8") as f:
        m = re.search(r"«([^»]+)»", f.read())
    logo(m.group(1).upper() if m else latin)
    if "--preview" in sys.argv:
        preview(made, big, small)


if __name__ == "__main__":
    main()
