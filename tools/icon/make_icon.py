#!/usr/bin/python3
"""Paints the application icon, a red bauble with a gold cap, at every size the desktop shows
(PNG), as a scalable SVG, as the 32 x 32, 8-bit ICO of the Windows executable and as the
installer's ICO with every size; and the installer's welcome and finish picture, the bauble
hanging in a snowy night."""

import io
import struct
import sys
from pathlib import Path

from PIL import Image, ImageDraw

SIZES = (16, 24, 32, 48, 64, 128, 256)
ICO_SIZE = 32
ALPHA_OPAQUE = 128  # the ICO's 1-bit mask keeps the pixels at least this opaque

RED_LIGHT = (242, 86, 74)
RED_DARK = (110, 8, 22)
GOLD_LIGHT = (252, 222, 128)
GOLD_DARK = (150, 100, 28)
SNOW = (255, 255, 255)

# The installer's picture: the size its welcome and finish pages show, the night from its top
# to its bottom colour, the snowflakes (how many, their largest radius) and where the bauble
# (the 128 px icon) hangs, its thread coming from the top edge.
PICTURE_SIZE = (164, 314)
NIGHT_TOP = (10, 22, 58)
NIGHT_BOTTOM = (48, 84, 140)
FLAKES, FLAKE_RADIUS = 90, 2.2
BAUBLE_AT = (18, 70)
GROUND_TOP = 270  # the snow drift's highest point

# The design on a 32-unit grid, 2 units of padding on every side (1/16 of the icon).
# Ball: centre and radius; the light falls from the upper left, LIGHT is the brightest spot.
BALL = (16.0, 18.5, 11.2)
LIGHT = (-0.40, -0.45)  # offset from the centre in radii
CAP = (12.6, 5.2, 19.4, 8.6)  # the cap's box
LOOP = (16.0, 4.0, 1.7, 0.9)  # the hanging loop: centre, radius, line width
HIGHLIGHT = (11.2, 13.4, 2.4, 1.5)  # the lit oval: centre and half axes
# Sparkles on the ball (x, y, reach); the larger ones come first, small icons show fewer.
SPARKLES = ((21.5, 24.0, 2.2), (9.5, 21.5, 1.6), (24.2, 15.6, 1.3), (15.0, 27.0, 1.0))


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def detail(size):
    """What a size can show: how many sparkles, drawn as stars or as single pixels, and the
    cap's ridges."""
    if size < 24:
        return 2, False, 0
    if size < 48:
        return 3, False, 1
    return 4, True, 3


def snap(v, k):
    """A design coordinate at the icon's scale, on a whole pixel, so edges stay sharp."""
    return round(v * k)


def star(x, y, reach, waist):
    """A four-pointed star: the points at `reach`, the waist between them at `waist`."""
    points = []
    for i in range(8):
        dx, dy = ((0, -1), (1, -1), (1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0), (-1, -1))[i]
        r = reach if i % 2 == 0 else waist * 0.7071
        points.append((x + dx * r, y + dy * r))
    return points


def paint_loop(d, size, k, s):
    """The hanging loop, behind the cap; at least one icon pixel wide. Round where there is
    room, else a square ring with cut corners on whole pixels."""
    lx, ly, lr, lw = LOOP
    x0, y0, x1, y1 = (snap(v, k) * s for v in (lx - lr, ly - lr, lx + lr, ly + lr))
    corner = (x1 - x0) // 2 if size >= 64 else s
    d.rounded_rectangle((x0, y0, x1 - 1, y1 - 1), corner, outline=GOLD_DARK + (255,),
                        width=max(1, snap(lw, k)) * s)


def paint_ball(big, u):
    """The ball, shaded by circles around the light spot, from the rim's dark red inwards."""
    cx, cy, r = (v * u for v in BALL)
    shade = Image.new("RGBA", big.size, RED_DARK + (255,))
    ds = ImageDraw.Draw(shade)
    hx, hy = cx + LIGHT[0] * r, cy + LIGHT[1] * r
    far = 1.6 * r
    steps = 96
    for i in range(steps, 0, -1):
        rr = far * i / steps
        ds.ellipse((hx - rr, hy - rr, hx + rr, hy + rr),
                   fill=mix(RED_LIGHT, RED_DARK, (i / steps) ** 1.2) + (255,))
    mask = Image.new("L", big.size, 0)
    ImageDraw.Draw(mask).ellipse((cx - r, cy - r, cx + r, cy + r), fill=255)
    big.paste(shade, mask=mask)


def paint_cap(d, size, k, s):
    """The cap: a gold band lit from the left, its box and ridges on whole icon pixels."""
    x0, y0, x1, y1 = (snap(v, k) * s for v in CAP)
    for x in range(x0, x1):
        d.line((x, y0, x, y1 - 1), fill=mix(GOLD_LIGHT, GOLD_DARK, (x - x0) / (x1 - x0)) + (255,))
    _, _, ridges = detail(size)
    for i in range(1, ridges + 1):
        x = x0 + round(i * (x1 - x0) / (ridges + 1) / s) * s
        d.rectangle((x, y0, x + max(1, snap(0.5, k)) * s - 1, y1 - 1), fill=GOLD_DARK + (255,))


def paint_highlight(big, u):
    """The highlight, a white oval towards the light with a softer rim, laid over the ball."""
    ex, ey, ax, ay = HIGHLIGHT
    glow = Image.new("RGBA", big.size, (0, 0, 0, 0))
    for i in range(12):
        grow, alpha = 1.4 - 0.4 * i / 11, round(40 + 195 * i / 11)
        ImageDraw.Draw(glow).ellipse(((ex - ax * grow) * u, (ey - ay * grow) * u,
                                      (ex + ax * grow) * u, (ey + ay * grow) * u),
                                     fill=SNOW + (alpha,))
    big.alpha_composite(glow)


def paint_big(size, s):
    """The icon at `s` times its size, with the edges that must stay sharp on whole pixels."""
    k = size / 32
    big = Image.new("RGBA", (size * s, size * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    u = k * s  # canvas pixels per design unit
    paint_loop(d, size, k, s)
    paint_ball(big, u)
    paint_cap(d, size, k, s)
    paint_highlight(big, u)
    count, stars, _ = detail(size)
    if stars:
        for x, y, reach in SPARKLES[:count]:
            d.polygon(star(x * u, y * u, reach * u, 0.32 * reach * u), fill=SNOW + (255,))
    return big


def paint(size):
    """The icon at `size`: drawn at 4 to 16 times the size, reduced by area averaging (no
    ringing), the small sparkles then set as whole white pixels."""
    s = max(4, 256 // size)
    icon = paint_big(size, s).resize((size, size), Image.BOX)
    count, stars, _ = detail(size)
    if not stars:
        k = size / 32
        px = icon.load()
        for x, y, reach in SPARKLES[:count]:
            cx, cy = int(x * k), int(y * k)
            px[cx, cy] = SNOW + (255,)
            if reach * k >= 1.0:  # a little cross where there is room for one
                for ax, ay in ((cx - 1, cy), (cx + 1, cy), (cx, cy - 1), (cx, cy + 1)):
                    px[ax, ay] = mix(px[ax, ay][:3], SNOW, 0.6) + (255,)
    return icon


def svg():
    """The same design as a scalable drawing on the 32-unit grid."""
    cx, cy, r = BALL
    lx, ly, lr, lw = LOOP
    x0, y0, x1, y1 = CAP
    ex, ey, ax, ay = HIGHLIGHT
    hex_ = "#{:02x}{:02x}{:02x}".format
    fx, fy = 0.5 + LIGHT[0] / 2, 0.5 + LIGHT[1] / 2
    ridges = "".join(
        f'<rect x="{x0 + i * (x1 - x0) / 4 - 0.25:g}" y="{y0:g}" width="0.5" '
        f'height="{y1 - y0:g}" fill="{hex_(*GOLD_DARK)}"/>\n' for i in range(1, 4))
    stars = "".join(
        '<path fill="#ffffff" d="M{}Z"/>\n'.format(
            " L".join(f"{px:.2f},{py:.2f}" for px, py in star(x, y, rr, 0.32 * rr)))
        for x, y, rr in SPARKLES)
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
<defs>
<radialGradient id="ball" cx="{fx:g}" cy="{fy:g}" r="0.8" fx="{fx:g}" fy="{fy:g}">
<stop offset="0" stop-color="{hex_(*RED_LIGHT)}"/>
<stop offset="1" stop-color="{hex_(*RED_DARK)}"/>
</radialGradient>
<linearGradient id="cap" x1="0" y1="0" x2="1" y2="0">
<stop offset="0" stop-color="{hex_(*GOLD_LIGHT)}"/>
<stop offset="1" stop-color="{hex_(*GOLD_DARK)}"/>
</linearGradient>
<radialGradient id="glow">
<stop offset="0.7" stop-color="#ffffff" stop-opacity="0.92"/>
<stop offset="1" stop-color="#ffffff" stop-opacity="0"/>
</radialGradient>
</defs>
<circle cx="{lx:g}" cy="{ly:g}" r="{lr - lw / 2:g}" fill="none" stroke="{hex_(*GOLD_DARK)}" \
stroke-width="{lw:g}"/>
<circle cx="{cx:g}" cy="{cy:g}" r="{r:g}" fill="url(#ball)"/>
<rect x="{x0:g}" y="{y0:g}" width="{x1 - x0:g}" height="{y1 - y0:g}" fill="url(#cap)"/>
{ridges}<ellipse cx="{ex:g}" cy="{ey:g}" rx="{1.4 * ax:g}" ry="{1.4 * ay:g}" fill="url(#glow)"/>
{stars}</svg>
"""


def quantized(icon):
    """The icon with its colours reduced to one 8-bit palette, as the ICO holds it."""
    pal = icon.convert("RGB").quantize(
        colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    out = pal.convert("RGBA")
    out.putalpha(icon.getchannel("A"))
    return out, pal


def and_mask(alpha, size):
    """The ICO's 1-bit AND mask, bottom-up rows of whole 32-bit words: set where the pixel is
    transparent."""
    transparent = [a < ALPHA_OPAQUE for a in alpha.getdata()]
    rows = []
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            bits = (bits << 1) | transparent[y * size + x]
        width = (size + 31) // 32 * 32
        rows.append((bits << (width - size)).to_bytes(width // 8, "big"))
    return b"".join(rows), transparent


def bitmap_header(size, bits, data_size, colours=0):
    """The BITMAPINFOHEADER of an ICO image: twice the height, for the picture and its mask."""
    return struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, data_size, 0, 0, colours, 0)


def ico_file(images):
    """An ICO holding `images`, each (size, bits per pixel, image bytes)."""
    offset = 6 + 16 * len(images)
    entries, data = [struct.pack("<HHH", 0, 1, len(images))], []
    for size, bits, image in images:
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(image),
                                   offset))
        offset += len(image)
        data.append(image)
    return b"".join(entries + data)


def ico_bytes(pal, alpha):
    """One 32 x 32 image, 8 bits per pixel with a 256-colour palette and a 1-bit AND mask."""
    size = ICO_SIZE
    palette = (pal.getpalette() or [])[:768]
    palette += [0] * (768 - len(palette))
    andmask, transparent = and_mask(alpha, size)
    index = list(pal.getdata())
    xor = b"".join(bytes(0 if transparent[y * size + x] else index[y * size + x]
                         for x in range(size)) for y in reversed(range(size)))
    colours = b"".join(bytes((palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0))
                       for i in range(256))
    image = bitmap_header(size, 8, len(xor) + len(andmask), 256) + colours + xor + andmask
    return ico_file([(size, 8, image)])


def installer_ico_bytes(icons):
    """Every size in full colour with alpha, for the installer: 32-bit bitmaps up to 128 px and
    the 256 px one as PNG, as Windows Vista and later read it."""
    images = []
    for size, icon in sorted(icons.items()):
        if size == 256:
            png = io.BytesIO()
            icon.save(png, "PNG", optimize=True)
            images.append((size, 32, png.getvalue()))
            continue
        r, g, b, a = icon.convert("RGBA").split()
        xor = Image.merge("RGBA", (b, g, r, a)).transpose(Image.Transpose.FLIP_TOP_BOTTOM).tobytes()
        andmask, _ = and_mask(a, size)
        images.append((size, 32, bitmap_header(size, 32, len(xor) + len(andmask)) + xor + andmask))
    return ico_file(images)


def flakes(count, width, height):
    """Snowflakes spread over the picture by a fixed sequence (the same every run): x, y and
    radius of each."""
    state, out = 12345, []
    for _ in range(count):
        values = []
        for _ in range(3):
            state = (state * 1103515245 + 12345) % 2 ** 31
            values.append(state / 2 ** 31)
        out.append((values[0] * width, values[1] * height, 0.6 + values[2] * FLAKE_RADIUS))
    return out


def installer_picture(bauble):
    """The welcome and finish pages' picture: the bauble on its gold thread in a night sky that
    lightens downwards, snow falling and a white drift at the bottom, as a 24-bit BMP."""
    width, height = PICTURE_SIZE
    s = 4  # drawn at four times the size and reduced, for smooth edges
    big = Image.new("RGBA", (width * s, height * s))
    d = ImageDraw.Draw(big)
    for y in range(height * s):
        d.line((0, y, width * s, y), fill=mix(NIGHT_TOP, NIGHT_BOTTOM, y / (height * s)) + (255,))
    for x, y, r in flakes(FLAKES, width, GROUND_TOP + 20):
        d.ellipse(((x - r) * s, (y - r) * s, (x + r) * s, (y + r) * s), fill=SNOW + (200,))
    bx, by = BAUBLE_AT
    loop_x = bx + bauble.width * LOOP[0] / 32
    d.line((loop_x * s, 0, loop_x * s, (by + bauble.height * LOOP[1] / 32) * s),
           fill=GOLD_DARK + (255,), width=s)
    d.ellipse((-width * s // 2, GROUND_TOP * s, width * s * 3 // 2, (height + 80) * s),
              fill=SNOW + (255,))
    picture = big.resize(PICTURE_SIZE, Image.BOX)
    picture.alpha_composite(bauble, BAUBLE_AT)
    out = io.BytesIO()
    picture.convert("RGB").save(out, "BMP")
    return out.getvalue()


def main(out_dir):
    out = Path(out_dir)
    out.mkdir(parents=True, exist_ok=True)
    icons = {}
    for size in SIZES:
        icon = paint(size)
        if size == ICO_SIZE:
            # The 32 px PNG shows exactly the ICO's colours.
            icon, pal = quantized(icon)
            (out / "frostfunkel.ico").write_bytes(ico_bytes(pal, icon.getchannel("A")))
        icon.save(out / f"frostfunkel-{size}.png", optimize=True)
        icons[size] = icon
    (out / "frostfunkel-installer.ico").write_bytes(installer_ico_bytes(icons))
    (out / "frostfunkel-installer.bmp").write_bytes(installer_picture(icons[128]))
    (out / "frostfunkel.svg").write_text(svg())


if __name__ == "__main__":
    default = Path(__file__).resolve().parents[2] / "packaging" / "icons"
    main(sys.argv[1] if len(sys.argv) > 1 else default)
