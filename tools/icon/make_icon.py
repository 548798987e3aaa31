#!/usr/bin/python3
"""Paints the 32 x 32 application icon, a red bauble with a gold cap, as PNG and as 8-bit ICO."""

import math
import struct
import sys
from pathlib import Path

from PIL import Image, ImageDraw

SIZE = 32
S = 8  # supersampling factor; drawn at S x size, then reduced with LANCZOS
ALPHA_OPAQUE = 128  # the ICO's 1-bit mask keeps the pixels at least this opaque

RED_LIGHT = (236, 70, 62)
RED_DARK = (104, 10, 20)
GOLD_LIGHT = (250, 216, 120)
GOLD_DARK = (150, 104, 30)
SNOW = (255, 255, 255)

# Bauble geometry in icon pixels: centre and radius of the ball, the cap box, the loop.
BALL = (16.0, 18.5, 12.5)
CAP = (12.5, 3.5, 19.5, 7.5)
LOOP = (14.0, 0.5, 18.0, 4.5)
# Fixed snow sparkles on the ball (x, y, radius), placed by hand so nothing varies between runs.
SPARKLES = [(10.0, 21.0, 0.9), (20.5, 25.5, 0.8), (23.5, 17.0, 0.7), (14.0, 27.0, 0.6)]


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def shaded_ball(big):
    """A sphere lit from the upper left: light red at the light spot, dark red at the rim."""
    cx, cy, r = (v * S for v in BALL)
    lx, ly = cx - 0.38 * r, cy - 0.42 * r
    px = big.load()
    for y in range(big.height):
        for x in range(big.width):
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 > r * r:
                continue
            d = math.hypot(x + 0.5 - lx, y + 0.5 - ly) / (1.45 * r)
            px[x, y] = mix(RED_LIGHT, RED_DARK, min(1.0, d) ** 0.9) + (255,)


def draw(big):
    d = ImageDraw.Draw(big)
    # The hanging loop, behind the cap.
    x0, y0, x1, y1 = (v * S for v in LOOP)
    d.ellipse((x0, y0, x1, y1), outline=GOLD_DARK + (255,), width=int(1.1 * S))
    shaded_ball(big)
    # The cap: a gold band with a lit left side and ridges.
    x0, y0, x1, y1 = (v * S for v in CAP)
    for x in range(int(x0), int(x1)):
        t = (x - x0) / (x1 - x0)
        d.line((x, y0, x, y1), fill=mix(GOLD_LIGHT, GOLD_DARK, t) + (255,))
    for i in range(1, 4):
        x = x0 + i * (x1 - x0) / 4
        d.line((x, y0, x, y1), fill=GOLD_DARK + (255,), width=S // 2)
    # The highlight, a soft white oval towards the light.
    cx, cy, r = (v * S for v in BALL)
    hx, hy = cx - 0.45 * r, cy - 0.48 * r
    d.ellipse((hx - 0.2 * r, hy - 0.13 * r, hx + 0.2 * r, hy + 0.13 * r), fill=SNOW + (235,))
    for x, y, rr in SPARKLES:
        d.ellipse(((x - rr) * S, (y - rr) * S, (x + rr) * S, (y + rr) * S), fill=SNOW + (255,))


def paint():
    """The icon as RGBA, its colours reduced to one 8-bit palette shared with the ICO."""
    big = Image.new("RGBA", (SIZE * S, SIZE * S), (0, 0, 0, 0))
    draw(big)
    small = big.resize((SIZE, SIZE), Image.LANCZOS)
    # Un-premultiplied colours of the edge pixels, then one palette for all visible pixels.
    rgb = Image.new("RGB", small.size, (0, 0, 0))
    rgb.paste(small.convert("RGB"), mask=small.getchannel("A"))
    pal = rgb.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    alpha = small.getchannel("A")
    out = pal.convert("RGBA")
    out.putalpha(alpha)
    return out, pal, alpha


def ico_bytes(pal, alpha):
    """One 32 x 32 image, 8 bits per pixel with a 256-colour palette and a 1-bit AND mask."""
    palette = (pal.getpalette() or [])[:768]
    palette += [0] * (768 - len(palette))
    transparent = [a < ALPHA_OPAQUE for a in alpha.getdata()]
    index = list(pal.getdata())
    rows_xor, rows_and = [], []
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = bytes(0 if transparent[y * SIZE + x] else index[y * SIZE + x] for x in range(SIZE))
        rows_xor.append(row)  # 32 bytes: already a multiple of 4
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | transparent[y * SIZE + x]
        rows_and.append(bits.to_bytes(4, "big"))
    xor, andmask = b"".join(rows_xor), b"".join(rows_and)
    colours = b"".join(bytes((palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0))
                       for i in range(256))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 8, 0,
                         len(xor) + len(andmask), 0, 0, 256, 0)
    image = header + colours + xor + andmask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return icondir + entry + image


def main(out_dir):
    out = Path(out_dir)
    out.mkdir(parents=True, exist_ok=True)
    rgba, pal, alpha = paint()
    rgba.save(out / "frostfunkel.png", optimize=True)
    (out / "frostfunkel.ico").write_bytes(ico_bytes(pal, alpha))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "packaging" / "icons")
