#!/usr/bin/python3
"""Paints the festive frame picture rahmen.png: fir garlands, baubles, stars, a bow and snow around a light card."""

import math
import os
import random
import sys

# The palette quantiser may use OpenMP; one thread keeps its arithmetic in a fixed order.
os.environ["OMP_NUM_THREADS"] = "1"

from PIL import Image, ImageDraw, ImageFilter  # noqa: E402

W, H = 610, 390
S = 4  # supersampling factor; drawn at S x size, then reduced with LANCZOS
SEED = 1224

# Black text may appear anywhere in this box (picture coordinates, inclusive);
# it has to stay light, so the decoration keeps out of it.
TEXT_BOX = (25, 65, 595, 275)
MIN_LUMINANCE = 0.175  # contrast 4.5:1 against black

PAPER_CENTRE = (255, 252, 241)
PAPER_EDGE = (247, 238, 214)
PATTERN = (176, 140, 80)

GREENS_BACK = [(18, 60, 36), (22, 70, 42), (20, 64, 48)]
GREENS_MID = [(32, 96, 52), (38, 108, 58), (30, 92, 66)]
GREENS_FRONT = [(58, 132, 66), (70, 146, 72), (52, 124, 82)]
GREENS_TIP = [(104, 170, 84), (120, 182, 92)]
STEM = (96, 62, 36)

RED = ((120, 8, 20), (214, 36, 44))
GOLD = ((150, 96, 18), (250, 208, 92))
BLUE = ((18, 40, 110), (80, 140, 230))
SILVER = ((96, 104, 118), (236, 240, 246))
GREEN_BALL = ((10, 70, 40), (70, 180, 100))
PURPLE = ((70, 16, 80), (170, 80, 190))

WHITE = (255, 255, 255)
SCREEN = (0, 0, 0)
BORDER_RED, BORDER_GOLD = (120, 14, 26), (200, 158, 64)
SHADOW = (70, 50, 30)  # cast by the decoration onto the card
STAR_GLOW = (255, 236, 160)
SNOW_SHADE, SNOW_LIT = (176, 198, 220), (252, 253, 255)
FLAKE_BLUE, PRINTED_FLAKE = (120, 160, 200), (160, 192, 220)
SPARKLE = (255, 250, 220)
GOLD_WIRE, CAP_GOLD = (150, 110, 40), (196, 150, 56)
CAP_RIB_LIT, CAP_RIB_SHADE = (232, 196, 110), (140, 98, 30)
BAND_LIT, BAND_SHADE, DOT_GOLD = (250, 212, 110), (200, 150, 50), (255, 236, 170)
STAR_LIT, STAR_SHADE, STAR_EDGE = (255, 222, 110), (222, 162, 36), (150, 100, 20)
HOLLY_LEAF, HOLLY_VEIN, HOLLY_BERRY = (20, 90, 46), (90, 160, 90), (180, 16, 28)
PINK_GLINT = (255, 150, 150)
CONE_BODY, CONE_SCALE, CONE_EDGE = (92, 56, 30), (150, 98, 52), (70, 40, 20)
BOW_LIT, BOW_RED, BOW_SHADE, BOW_DEEP = (246, 92, 96), (204, 28, 40), (140, 12, 26), (96, 6, 18)
KNOT_LIT, KNOT_SHADE, KNOT_SHEEN = (236, 70, 76), (150, 14, 28), (255, 160, 160)
BERRY_SHADE, BERRY_RED, BERRY_SHINE = (150, 10, 24), (206, 26, 38), (255, 190, 190)
CHAIN_GOLD, CHAIN_SHINE = (176, 126, 34), (252, 220, 130)
CORD_RED, CORD_GOLD = ((196, 26, 40), (240, 110, 110)), ((206, 160, 54), (255, 232, 160))
BEAD_SHINE = (255, 250, 235)


def sc(v):
    return v * S


def pts(seq):
    return [(sc(x), sc(y)) for x, y in seq]


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def bezier(p0, p1, p2, p3, n=24):
    out = []
    for i in range(n + 1):
        t = i / n
        u = 1 - t
        out.append((u * u * u * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t * t * t * p3[0],
                    u * u * u * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t * t * t * p3[1]))
    return out


def luminance(rgb):
    def lin(c):
        c = c / 255.0
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = rgb[:3]
    return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b)


# ---------------------------------------------------------------- paper

def paint_paper(img):
    # Warm ivory, a touch lighter in the middle where the text sits.
    grad = Image.radial_gradient("L").resize((sc(W), sc(H)), Image.BILINEAR)
    centre = Image.new("RGB", img.size, PAPER_CENTRE)
    edge = Image.new("RGB", img.size, PAPER_EDGE)
    img.paste(Image.composite(edge, centre, grad))
    # Faint watermark of snow crystals on a diamond grid, too pale to disturb the dotted letters.
    mask = Image.new("L", img.size, 0)
    md = ImageDraw.Draw(mask)
    for row in range(0, 8):
        for col in range(0, 12):
            x = 26 + col * 56 + (28 if row % 2 else 0)
            y = 20 + row * 50
            snowflake(md, x, y, 7.5, colour=255, rot=(row * 7 + col * 13) % 60, width=0.7)
    mask = mask.point(lambda v: v * 30 // 255)
    img.paste(Image.new("RGB", img.size, PATTERN), (0, 0), mask)


def paint_border(img):
    # Deep red edge with a gold line; the very corners are rounded off into the black screen.
    w, h = sc(W), sc(H)
    mask = Image.new("L", img.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, w - 1, h - 1), radius=sc(8), fill=255)
    black = Image.new("RGB", img.size, SCREEN)
    img.paste(Image.composite(img, black, mask))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((0, 0, w - 1, h - 1), radius=sc(8), outline=BORDER_RED, width=sc(3))
    d.rounded_rectangle((sc(3), sc(3), w - 1 - sc(3), h - 1 - sc(3)), radius=sc(5),
                        outline=BORDER_GOLD, width=sc(1))


# ---------------------------------------------------------------- fir

def fir_branch(d, rng, x, y, ang, length, needle, snow=0.0, depth=0):
    """One fir twig: a curved stem, needles on both sides in three shades, optional snow on top."""
    bend = rng.uniform(-0.25, 0.25) / max(length, 1)
    steps = max(4, int(length / 1.1))
    path = []
    a = ang
    px, py = x, y
    for i in range(steps + 1):
        path.append((px, py, a))
        px += math.cos(a) * length / steps
        py += math.sin(a) * length / steps
        a += bend * length / steps * 3
    d.line(pts([(p[0], p[1]) for p in path]), fill=STEM, width=max(2, int(sc(1.3 - 0.4 * depth))))
    wid = max(2, int(round(sc(1.05 - 0.15 * depth))))
    layers = [(GREENS_BACK, 1.0, 0.0), (GREENS_MID, 0.85, 0.12), (GREENS_FRONT, 0.62, 0.3)]
    for colours, lf, shift in layers:
        for i, (px, py, a) in enumerate(path):
            t = i / steps
            if t < 0.06:
                continue
            nl = needle * lf * (1.0 - 0.5 * t) * rng.uniform(0.8, 1.1)
            for side in (-1, 1):
                na = a + side * (math.radians(52) + rng.uniform(-0.2, 0.2)) - side * shift * 0.3
                sx = px + math.cos(a) * shift * 2
                sy = py + math.sin(a) * shift * 2
                ex = sx + math.cos(na) * nl
                ey = sy + math.sin(na) * nl
                d.line(pts([(sx, sy), (ex, ey)]), fill=rng.choice(colours), width=wid)
    # Fresh light tips near the end of the twig.
    ex, ey, ea = path[-1]
    for k in range(5):
        na = ea + rng.uniform(-0.5, 0.5)
        nl = needle * rng.uniform(0.35, 0.6)
        d.line(pts([(ex, ey), (ex + math.cos(na) * nl, ey + math.sin(na) * nl)]),
               fill=rng.choice(GREENS_TIP), width=wid)
    if depth == 0 and length > 22:
        for k in range(rng.randint(1, 3)):
            t = rng.uniform(0.3, 0.7)
            i = int(t * steps)
            px, py, a = path[i]
            side = rng.choice((-1, 1))
            fir_branch(d, rng, px, py, a + side * rng.uniform(0.5, 0.8), length * rng.uniform(0.3, 0.45),
                       needle * 0.8, snow=0, depth=1)
    if snow > 0 and depth == 0 and rng.random() < snow:
        # A few clumps of snow resting on the upper side of the stem.
        for k in range(rng.randint(1, 2)):
            i0 = int(rng.uniform(0.15, 0.6) * steps)
            run = min(steps - i0, rng.randint(3, 6))
            for i in range(i0, i0 + run):
                px, py, a = path[i]
                t = (i - i0) / max(run - 1, 1)
                r = (1.3 + 1.3 * math.sin(t * math.pi)) * rng.uniform(0.85, 1.1)
                nx, ny = -math.sin(a), math.cos(a)
                if ny > 0:
                    nx, ny = -nx, -ny  # the normal that points up on screen
                cx, cy = px + nx * 1.2, py + ny * 1.2
                d.ellipse(pts([(cx - r, cy - r * 0.55 + 0.7), (cx + r, cy + r * 0.55 + 0.7)]), fill=SNOW_SHADE)
            for i in range(i0, i0 + run):
                px, py, a = path[i]
                t = (i - i0) / max(run - 1, 1)
                r = (1.2 + 1.2 * math.sin(t * math.pi))
                nx, ny = -math.sin(a), math.cos(a)
                if ny > 0:
                    nx, ny = -nx, -ny
                cx, cy = px + nx * 1.2, py + ny * 1.2
                d.ellipse(pts([(cx - r, cy - r * 0.65), (cx + r, cy + r * 0.45)]), fill=SNOW_LIT)


def garland(d, rng, path, spacing, length, needle, spread, snow, direction=1):
    """Lays fir twigs along a polyline; direction says which way along it they point."""
    total = 0.0
    segs = []
    for (x0, y0), (x1, y1) in zip(path, path[1:]):
        L = math.hypot(x1 - x0, y1 - y0)
        segs.append((x0, y0, x1, y1, L, total))
        total += L
    s = 0.0
    twigs = []
    while s <= total:
        for x0, y0, x1, y1, L, off in segs:
            if off <= s <= off + L + 1e-9:
                t = (s - off) / L if L else 0
                x, y = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
                a = math.atan2(y1 - y0, x1 - x0)
                break
        if direction < 0:
            a += math.pi
        twigs.append((x, y, a))
        s += spacing * rng.uniform(0.8, 1.2)
    if direction < 0:
        twigs.reverse()
    for x, y, a in twigs:
        a += rng.uniform(-spread, spread)
        fir_branch(d, rng, x, y, a, length * rng.uniform(0.85, 1.15), needle, snow=snow)


def cluster(d, rng, x, y, angles, length, needle, snow):
    for a in angles:
        fir_branch(d, rng, x, y, math.radians(a) + rng.uniform(-0.08, 0.08),
                   length * rng.uniform(0.85, 1.1), needle, snow=snow)


# ---------------------------------------------------------------- ornaments

def bauble(img, x, y, r, colours, hang=None, pattern=None):
    """A glass ball lit from the upper left, with a gold cap and an optional string up to hang."""
    dark, light = colours
    d = ImageDraw.Draw(img)
    if hang is not None:
        d.line(pts([hang, (x, y - r)]), fill=GOLD_WIRE, width=max(2, int(sc(0.7))))
    R = sc(r)
    box = (int(sc(x) - R), int(sc(y) - R), int(sc(x) + R) + 1, int(sc(y) + R) + 1)
    size = (box[2] - box[0], box[3] - box[1])
    # Shading: radial falloff from a point up and to the left of the centre.
    span = int(R * 3.4)
    g = Image.radial_gradient("L").resize((span, span), Image.BILINEAR)
    g = g.point(lambda v: min(255, int(255 * (v / 181.0) ** 0.9 * 1.15)))
    shade = Image.new("L", size, 255)
    hx, hy = size[0] / 2 - 0.38 * R, size[1] / 2 - 0.42 * R
    shade.paste(g, (int(hx - span / 2), int(hy - span / 2)))
    body = Image.composite(Image.new("RGB", size, dark), Image.new("RGB", size, light), shade)
    # Light bounced back from the lower right rim.
    rim = Image.new("L", size, 0)
    ImageDraw.Draw(rim).ellipse((0, 0, size[0] - 1, size[1] - 1), fill=120)
    ImageDraw.Draw(rim).ellipse((-R * 0.12, -R * 0.12, size[0] - 1 - R * 0.2, size[1] - 1 - R * 0.2), fill=0)
    rim = rim.filter(ImageFilter.GaussianBlur(R * 0.06))
    body = Image.composite(Image.new("RGB", size, light), body, rim)
    bd = ImageDraw.Draw(body)
    if pattern == "band":
        # A gold band around the equator, seen slightly from above.
        for k, col in ((0.0, BAND_LIT), (0.09, BAND_SHADE)):
            bd.arc((-R * 0.05, R * 0.55 + k * R, size[0] + R * 0.05, R * 1.35 + k * R), 0, 180,
                   fill=col, width=max(2, int(R * 0.1)))
    elif pattern == "dots":
        for k in range(-2, 3):
            cx = size[0] / 2 + k * R * 0.4
            cy = size[1] / 2 + R * 0.1 - abs(k) * R * 0.04
            rr = R * 0.09 * (1 - abs(k) * 0.2)
            bd.ellipse((cx - rr, cy - rr, cx + rr, cy + rr), fill=DOT_GOLD)
    # Specular highlights.
    shine = Image.new("L", size, 0)
    sd = ImageDraw.Draw(shine)
    sd.ellipse((size[0] * 0.2, size[1] * 0.16, size[0] * 0.44, size[1] * 0.34), fill=235)
    sd.ellipse((size[0] * 0.52, size[1] * 0.12, size[0] * 0.6, size[1] * 0.18), fill=150)
    shine = shine.filter(ImageFilter.GaussianBlur(R * 0.06))
    body = Image.composite(Image.new("RGB", size, WHITE), body, shine)
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).ellipse((0, 0, size[0] - 1, size[1] - 1), fill=255)
    img.paste(body, box[:2], mask)
    # Cap and loop.
    cw, ch = r * 0.42, r * 0.28
    d.ellipse(pts([(x - cw * 0.45, y - r - ch - 2.2), (x + cw * 0.45, y - r - ch + 0.4)]),
              outline=GOLD_WIRE, width=max(2, int(sc(0.6))))
    d.rectangle(pts([(x - cw, y - r - ch), (x + cw, y - r + ch * 0.7)]), fill=CAP_GOLD)
    for k in range(-2, 3):
        xx = x + k * cw * 0.4
        d.line(pts([(xx, y - r - ch), (xx, y - r + ch * 0.7)]),
               fill=CAP_RIB_LIT if k % 2 else CAP_RIB_SHADE, width=max(1, int(sc(0.35))))


def star(d, x, y, r, rot=-90.0, inner=0.42, light=STAR_LIT, dark=STAR_SHADE):
    """Five-point star with facets: each arm has a lit and a shaded half."""
    P = []
    for k in range(10):
        rr = r if k % 2 == 0 else r * inner
        a = math.radians(rot + k * 36)
        P.append((x + math.cos(a) * rr, y + math.sin(a) * rr))
    d.polygon(pts(P), fill=STAR_EDGE)
    shrink = 0.86
    Q = [(x + (px - x) * shrink, y + (py - y) * shrink) for px, py in P]
    for k in range(10):
        tri = [(x, y), Q[k], Q[(k + 1) % 10]]
        d.polygon(pts(tri), fill=light if k % 2 == 0 else dark)


def sparkle(d, x, y, r, colour=SPARKLE):
    w = r * 0.18
    d.polygon(pts([(x, y - r), (x + w, y - w), (x + r, y), (x + w, y + w),
                   (x, y + r), (x - w, y + w), (x - r, y), (x - w, y - w)]), fill=colour)


def snowflake(d, x, y, r, colour=FLAKE_BLUE, rot=0.0, width=0.55):
    wid = max(2, int(sc(width)))
    for k in range(6):
        a = math.radians(rot + k * 60)
        ex, ey = x + math.cos(a) * r, y + math.sin(a) * r
        d.line(pts([(x, y), (ex, ey)]), fill=colour, width=wid)
        for f in (0.55,):
            bx, by = x + math.cos(a) * r * f, y + math.sin(a) * r * f
            for side in (-1, 1):
                ba = a + side * math.radians(45)
                d.line(pts([(bx, by), (bx + math.cos(ba) * r * 0.35, by + math.sin(ba) * r * 0.35)]),
                       fill=colour, width=wid)


def holly(d, rng, x, y, ang, size):
    """Two spiky holly leaves and three red berries."""
    for side in (-0.55, 0.55):
        a = ang + side
        L = size
        nx, ny = -math.sin(a), math.cos(a)
        outline = []
        n = 5
        for i in range(n + 1):
            t = i / n
            bulge = math.sin(t * math.pi) * L * 0.28 * (1.25 if i % 2 else 0.85)
            outline.append((x + math.cos(a) * L * t + nx * bulge, y + math.sin(a) * L * t + ny * bulge))
        for i in range(n, -1, -1):
            t = i / n
            bulge = math.sin(t * math.pi) * L * 0.28 * (1.25 if i % 2 else 0.85)
            outline.append((x + math.cos(a) * L * t - nx * bulge, y + math.sin(a) * L * t - ny * bulge))
        d.polygon(pts(outline), fill=HOLLY_LEAF)
        d.line(pts([(x, y), (x + math.cos(a) * L * 0.92, y + math.sin(a) * L * 0.92)]),
               fill=HOLLY_VEIN, width=max(2, int(sc(0.5))))
    for bx, by in ((0, -1.1), (1.6, 0.6), (-1.5, 0.7)):
        cx, cy = x + bx * size * 0.11, y + by * size * 0.11
        r = size * 0.14
        d.ellipse(pts([(cx - r, cy - r), (cx + r, cy + r)]), fill=HOLLY_BERRY)
        d.ellipse(pts([(cx - r * 0.5, cy - r * 0.6), (cx - r * 0.05, cy - r * 0.15)]), fill=PINK_GLINT)


def pine_cone(d, x, y, ang, length):
    """Brown cone built from overlapping scale rows, tip pointing along ang."""
    ca, sa = math.cos(ang), math.sin(ang)
    rows = 7
    for i in range(rows):
        t = i / (rows - 1)
        cx, cy = x + ca * length * t * 0.9, y + sa * length * t * 0.9
        rr = length * 0.3 * (1 - 0.55 * t) + 0.8
        d.ellipse(pts([(cx - rr, cy - rr), (cx + rr, cy + rr)]), fill=CONE_BODY)
        nx, ny = -sa, ca
        for side in (-0.5, 0.5):
            sx, sy = cx + nx * rr * side, cy + ny * rr * side
            r2 = rr * 0.55
            d.ellipse(pts([(sx - r2, sy - r2), (sx + r2, sy + r2)]), fill=CONE_SCALE)
            d.arc(pts([(sx - r2, sy - r2), (sx + r2, sy + r2)]), 20, 160, fill=CONE_EDGE,
                  width=max(2, int(sc(0.4))))


def shaded_polygon(img, polygon, top_colour, bottom_colour, outline=None):
    """Fills a polygon (picture coordinates) with a vertical gradient, lit from above."""
    ys = [p[1] for p in polygon]
    xs = [p[0] for p in polygon]
    x0, y0 = int(sc(min(xs))) - 1, int(sc(min(ys))) - 1
    x1, y1 = int(sc(max(xs))) + 2, int(sc(max(ys))) + 2
    size = (x1 - x0, y1 - y0)
    grad = Image.linear_gradient("L").resize(size, Image.BILINEAR)
    fill = Image.composite(Image.new("RGB", size, bottom_colour), Image.new("RGB", size, top_colour), grad)
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).polygon([(sc(px) - x0, sc(py) - y0) for px, py in polygon], fill=255)
    img.paste(fill, (x0, y0), mask)
    if outline is not None:
        ImageDraw.Draw(img).line(pts(polygon + polygon[:1]), fill=outline, width=max(2, int(sc(0.6))),
                                 joint="curve")


def bow(img, x, y, span, height):
    """A red satin bow: two loops pinched at the knot, folds, and two notched tails."""
    d = ImageDraw.Draw(img)
    light, mid, dark, deep = BOW_LIT, BOW_RED, BOW_SHADE, BOW_DEEP
    thin = max(2, int(sc(0.7)))
    for side in (-1, 1):
        tail = [(x + side * 1, y + 1), (x + side * span * 0.58, y + height * 1.3),
                (x + side * span * 0.42, y + height * 1.2), (x + side * span * 0.36, y + height * 1.42),
                (x + side * span * 0.2, y + height * 1.0), (x - side * 2, y + 3)]
        shaded_polygon(img, tail, mid, dark, outline=deep)
        d.line(pts([(x + side * 3, y + 4), (x + side * span * 0.36, y + height * 1.1)]), fill=deep, width=thin)
    for side in (-1, 1):
        top = bezier((x, y - 2.5), (x + side * span * 0.3, y - height * 1.45),
                     (x + side * span * 1.1, y - height * 1.35), (x + side * span, y - height * 0.15))
        bot = bezier((x + side * span, y - height * 0.15), (x + side * span * 0.92, y + height * 0.85),
                     (x + side * span * 0.3, y + height * 0.55), (x, y + 2.5))
        shaded_polygon(img, top + bot, light, dark, outline=deep)
        # The opening of the loop, in shadow, and the lit outer edge.
        itop = bezier((x + side * span * 0.5, y - height * 0.25), (x + side * span * 0.6, y - height * 0.8),
                      (x + side * span * 0.92, y - height * 0.75), (x + side * span * 0.86, y - height * 0.1))
        ibot = bezier((x + side * span * 0.86, y - height * 0.1), (x + side * span * 0.82, y + height * 0.4),
                      (x + side * span * 0.55, y + height * 0.3), (x + side * span * 0.5, y - height * 0.25))
        shaded_polygon(img, itop + ibot, deep, dark)
        d.line(pts(top[4:20]), fill=PINK_GLINT, width=thin)
        # Folds running from the knot into the loop.
        for f in (-0.35, 0.25):
            d.line(pts(bezier((x + side * 3, y + f * 4), (x + side * span * 0.25, y + f * height),
                              (x + side * span * 0.4, y + f * height * 1.1),
                              (x + side * span * 0.5, y + f * height * 0.6), 10)), fill=dark, width=thin)
    kw, kh = span * 0.15, height * 0.45
    knot = [(x - kw, y - kh), (x + kw, y - kh), (x + kw * 0.8, y + kh), (x - kw * 0.8, y + kh)]
    shaded_polygon(img, knot, KNOT_LIT, KNOT_SHADE, outline=deep)
    d.line(pts([(x - kw * 0.4, y - kh * 0.7), (x - kw * 0.35, y + kh * 0.6)]), fill=KNOT_SHEEN, width=thin)


def berries(d, rng, x, y, n, r):
    """A small bunch of red berries with glints."""
    for k in range(n):
        a = 2 * math.pi * k / n + rng.uniform(-0.3, 0.3)
        cx, cy = x + math.cos(a) * r * 1.1, y + math.sin(a) * r * 1.1
        d.ellipse(pts([(cx - r, cy - r), (cx + r, cy + r)]), fill=BERRY_SHADE)
        d.ellipse(pts([(cx - r * 0.85, cy - r * 0.9), (cx + r * 0.7, cy + r * 0.6)]), fill=BERRY_RED)
        d.ellipse(pts([(cx - r * 0.55, cy - r * 0.6), (cx - r * 0.1, cy - r * 0.15)]), fill=BERRY_SHINE)


def bead_chain(d, x0, y0, x1, y1, sag, r=1.3, step=3.6):
    """Tiny gold beads draped between two points."""
    L = math.hypot(x1 - x0, y1 - y0)
    n = max(2, int(L / step))
    for i in range(n + 1):
        t = i / n
        x = x0 + (x1 - x0) * t
        y = y0 + (y1 - y0) * t + sag * 4 * t * (1 - t)
        d.ellipse(pts([(x - r, y - r), (x + r, y + r)]), fill=CHAIN_GOLD)
        d.ellipse(pts([(x - r * 0.7, y - r * 0.8), (x + r * 0.3, y + r * 0.2)]), fill=CHAIN_SHINE)


def base_band(d, rng, path, below, above, colour):
    """Dark green body under a garland so no paper shows between the twigs."""
    upper = [(x, y - above * rng.uniform(0.7, 1.0)) for x, y in path]
    lower = [(x, y + below * rng.uniform(0.7, 1.0)) for x, y in reversed(path)]
    d.polygon(pts(upper + lower), fill=colour)


def side_cord(d, x0, y0, y1, period=7.0, half=2.6):
    """A twisted red and gold cord down a side edge: slanted strands, each with a lit edge."""
    d.line(pts([(x0, y0), (x0, y1)]), fill=BORDER_RED, width=int(sc(half * 2)))
    y = y0
    k = 0
    while y < y1:
        fill, lit = CORD_RED if k % 2 == 0 else CORD_GOLD
        strand = [(x0 - half, y), (x0 - half, y + period * 0.35), (x0 + half, y + period * 0.85),
                  (x0 + half, y + period * 0.5)]
        d.polygon(pts(strand), fill=fill)
        d.line(pts([(x0 - half * 0.8, y + period * 0.05), (x0 + half * 0.8, y + period * 0.5)]), fill=lit,
               width=max(2, int(sc(0.5))))
        y += period * 0.5
        k += 1


def bead(d, x, y, r, colours):
    dark, light = colours
    d.ellipse(pts([(x - r, y - r), (x + r, y + r)]), fill=dark)
    d.ellipse(pts([(x - r * 0.85, y - r * 0.9), (x + r * 0.6, y + r * 0.55)]), fill=mix(dark, light, 0.6))
    d.ellipse(pts([(x - r * 0.6, y - r * 0.65), (x - r * 0.05, y - r * 0.15)]), fill=BEAD_SHINE)


def glow(img, x, y, r, colour, strength):
    """Soft round light on the paper, used behind the big star."""
    span = int(sc(r) * 2)
    g = Image.radial_gradient("L").resize((span, span), Image.BILINEAR)
    g = g.point(lambda v: int(strength * max(0.0, 1 - v / 128.0) ** 1.6))
    img.paste(Image.new("RGB", (span, span), colour), (int(sc(x) - span / 2), int(sc(y) - span / 2)), g)


def shadow_under(img, layer, offset=(1.2, 1.8), blur=1.6, strength=0.32, colour=SHADOW):
    alpha = layer.getchannel("A").filter(ImageFilter.GaussianBlur(sc(blur)))
    alpha = alpha.point(lambda v: int(v * strength))
    shifted = Image.new("L", img.size, 0)
    shifted.paste(alpha, (int(sc(offset[0])), int(sc(offset[1]))))
    img.paste(Image.new("RGB", img.size, colour), (0, 0), shifted)


def mirrored(items, pairwise=False, turn=False):
    """Placements (x, y, ...) on the left followed by their mirror images about the picture's
    centre line, in reverse order so a row reads symmetrically; pairwise puts each mirror image
    right after its original. With turn, the fourth value is an angle in degrees, mirrored too."""
    def mirror(item):
        x, y, *rest = item
        if turn:
            rest[1] = 180 - rest[1] if not isinstance(rest[1], list) else [180 - a for a in rest[1]]
        return (W - x, y, *rest)
    if pairwise:
        return [m for item in items for m in (tuple(item), mirror(item))]
    return [tuple(item) for item in items] + [mirror(item) for item in reversed(items)]


# Placements in picture coordinates: (x, y, radius ...) unless said otherwise.
PRINTED_FLAKES = mirrored([(150, 52, 5), (250, 46, 4), (40, 296, 5), (200, 288, 4), (118, 292, 4), (88, 56, 4)],
                          pairwise=True)
# (x, y, size, angle in degrees)
CORNER_TWIGS = mirrored([(4, 4, 42, [8, 28, 50, 72]), (4, H - 4, 46, [-8, -30, -55, -80])], pairwise=True, turn=True)
HOLLY_TOP = mirrored([(30, 30, 18, 20)], turn=True)
CORNER_CONES = mirrored([(42, 356, 21, -35)], turn=True)
HOLLY_BOTTOM = mirrored([(30, 330, 18, -25)], turn=True)
GARLAND_CONES = mirrored([(120, 378, 16, -20)], turn=True)
BERRY_BUNCHES = mirrored([(112, 356), (250, 372)]) + mirrored([(200, 382)])
CORD_BEADS = (GOLD, RED, GOLD, BLUE, GOLD)  # down each side cord, top to bottom
# bead chains under the top swags, from one x to another, each beside its mirror image
CHAIN_SPANS = [span for a, b in ((22, 100), (100, 176), (176, 262)) for span in ((a, b), (W - a, W - b))]
# (x, y, radius, pattern) with the colours listed apart: the two sides differ in colour only
HANGING_BAUBLES = mirrored([(70, 46, 9, "band"), (140, 40, 8, None), (215, 47, 9, "dots")])
HANGING_COLOURS = (RED, GOLD, BLUE, GREEN_BALL, SILVER, RED)
NESTLED_BAUBLES = (mirrored([(80, 334, 11, None), (150, 326, 12, "band"), (222, 332, 10, "dots")])
                   + mirrored([(262, 348, 9, None)]) + mirrored([(186, 356, 8, None)]))
NESTLED_COLOURS = (GOLD, RED, PURPLE, BLUE, RED, SILVER, SILVER, GOLD, BLUE, PURPLE)
TOP_STARS = mirrored([(105, 24, 7), (178, 30, 6)]) + mirrored([(252, 22, 6)])
BOTTOM_STARS = mirrored([(115, 310, 7), (190, 306, 6)]) + mirrored([(60, 304, 5)])
BIG_STAR = (305, 324, 24)
SPARKLES = ((334, 296, 5), (276, 300, 3.5), (240, 296, 3), (372, 298, 3.5), (120, 50, 3), (490, 50, 3), (300, 52, 3))
SNOWFALL = 300  # flakes tried; those over the text box are left out


def top_swag_y(x, dy=2):
    """Height of the top garland's swags at x: from each corner down and up again to the bow."""
    t = min(1.0, max(0.0, (302 - abs(x - 305)) / 292))
    return 13 + dy + 15 * math.sin(t * math.pi) ** 1.2 - 3 * t


def swag_path(side, reach, shape):
    """31 points from a corner (side -1 left, 1 right) to the middle, at heights shape(t)."""
    return [(305 + side * (302 - reach * t), shape(t)) for t in (i / 30 for i in range(31))]


class Canvas:
    """The card drawn at S times the size, the decoration layer above it, and the one random source."""

    def __init__(self):
        self.rng = random.Random(SEED)
        self.img = Image.new("RGB", (sc(W), sc(H)), PAPER_CENTRE)
        self.deco = Image.new("RGBA", self.img.size, (0, 0, 0, 0))

    def on_card(self):
        return ImageDraw.Draw(self.img)

    def on_deco(self):
        return ImageDraw.Draw(self.deco)


def background(cv):
    paint_paper(cv.img)


def card_prints(cv):
    """Icy snowflakes printed on the card around the greenery, and the glow behind the big star."""
    d = cv.on_card()
    for x, y, r in PRINTED_FLAKES:
        snowflake(d, x, y, r, colour=PRINTED_FLAKE, rot=cv.rng.uniform(0, 60))
    glow(cv.img, 305, 322, 46, STAR_GLOW, 150)


def top_garland(cv):
    """Two swags from the corners to the bow in the middle, over a dark band."""
    d, rng = cv.on_deco(), cv.rng
    base_band(d, rng, [(x, top_swag_y(x)) for x in range(4, 607, 6)], 4, 3, GREENS_BACK[0])
    for side in (-1, 1):
        for dy, spacing, length, needle in ((4, 10, 28, 8.0), (0, 6.5, 30, 8.5)):
            path = swag_path(side, 292, lambda t: 13 + dy + 15 * math.sin(t * math.pi) ** 1.2 - 3 * t)
            garland(d, rng, path, spacing, length, needle, 0.32, snow=0.5)


def bottom_garland(cv):
    """Three rows from the corners to the big star in the middle, over a deep band."""
    d, rng = cv.on_deco(), cv.rng
    ground = [(x, 352 - 12 * math.sin((302 - abs(x - 305)) / 294 * math.pi / 2)) for x in range(4, 607, 6)]
    base_band(d, rng, ground, 70, 0, GREENS_BACK[0])
    for side in (-1, 1):
        for base, rise, spacing, length, needle, snow in ((378, 4, 8, 30, 9, 0.2), (362, 10, 6.5, 32, 9.5, 0.35),
                                                         (346, 14, 6.5, 30, 9, 0.55)):
            path = swag_path(side, 294, lambda t: base - rise * math.sin(t * math.pi / 2))
            garland(d, rng, path, spacing, length, needle, 0.4, snow=snow)


def corner_twigs(cv):
    """Fir twigs fanning out of each corner."""
    for x, y, length, angles in CORNER_TWIGS:
        top = y < H / 2
        cluster(cv.on_deco(), cv.rng, x, y, angles, length, 8.5 if top else 9, 0.5 if top else 0.4)


def side_cords(cv):
    """Thin cords with beads down the sides (the right strip beside the text is narrow)."""
    d = cv.on_deco()
    for x0 in (9, W - 9):
        side_cord(d, x0, 40, 350)
        for i, y in enumerate(range(88, 270, 36)):
            bead(d, x0, y, 3.0, CORD_BEADS[i % len(CORD_BEADS)])


def corner_holly(cv):
    """Holly in the four corners and a pine cone in each lower one."""
    d = cv.on_deco()
    for x, y, size, angle in HOLLY_TOP:
        holly(d, cv.rng, x, y, math.radians(angle), size)
    for x, y, size, angle in CORNER_CONES:
        pine_cone(d, x, y, math.radians(angle), size)
    for x, y, size, angle in HOLLY_BOTTOM:
        holly(d, cv.rng, x, y, math.radians(angle), size)


def garland_trim(cv):
    """Berries and cones tucked into the bottom garland, gold bead chains under the top swags."""
    d, rng = cv.on_deco(), cv.rng
    for x, y in BERRY_BUNCHES:
        berries(d, rng, x, y, 4, 2.1)
    for x, y, size, angle in GARLAND_CONES:
        pine_cone(d, x, y, math.radians(angle), size)
    for xa, xb in CHAIN_SPANS:
        bead_chain(d, xa, top_swag_y(xa) + 5, xb, top_swag_y(xb) + 5, 9)


def top_ornaments(cv):
    """Baubles hanging from the swags (their lowest point stays above the text box), stars and the bow."""
    for (x, y, r, pattern), colours in zip(HANGING_BAUBLES, HANGING_COLOURS):
        bauble(cv.deco, x, y, r, colours, hang=(x, y - r - 12), pattern=pattern)
    for x, y, r in TOP_STARS:
        star(cv.on_deco(), x, y, r, rot=-90 + cv.rng.uniform(-12, 12))
    bow(cv.deco, 305, 22, 40, 16)


def bottom_ornaments(cv):
    """Baubles nestled in the greenery around a big star, and small stars above them."""
    for (x, y, r, pattern), colours in zip(NESTLED_BAUBLES, NESTLED_COLOURS):
        bauble(cv.deco, x, y, r, colours, pattern=pattern)
    d = cv.on_deco()
    for x, y, r in BOTTOM_STARS:
        star(d, x, y, r, rot=-90 + cv.rng.uniform(-15, 15))
    star(d, *BIG_STAR, rot=-90)


def decoration_onto_card(cv):
    shadow_under(cv.img, cv.deco)
    cv.img.paste(cv.deco, (0, 0), cv.deco)


def sparkles(cv):
    d = cv.on_card()
    for x, y, r in SPARKLES:
        sparkle(d, x, y, r)


def snowfall(cv):
    """Falling snow over the decorated bands only."""
    d, rng = cv.on_card(), cv.rng
    for _ in range(SNOWFALL):
        x, y = rng.uniform(0, W), rng.uniform(0, H)
        if TEXT_BOX[0] - 4 <= x <= TEXT_BOX[2] + 4 and TEXT_BOX[1] - 4 <= y <= TEXT_BOX[3] + 4:
            continue
        r = rng.uniform(0.7, 1.6)
        d.ellipse(pts([(x - r, y - r), (x + r, y + r)]), fill=WHITE)


def border(cv):
    paint_border(cv.img)


# The picture is painted layer by layer in this order, each over the ones before.
LAYERS = (background, card_prints, top_garland, bottom_garland, corner_twigs, side_cords, corner_holly,
          garland_trim, top_ornaments, bottom_ornaments, decoration_onto_card, sparkles, snowfall, border)


def reduce(img):
    """Down to the picture's size with LANCZOS, then to 256 well chosen colours, which keep the
    file small (plain RGB would be near the size limit). Quantised from RGBA because Pillow hands
    RGB to libimagequant with an undefined alpha byte; the picture is opaque, so the palette is
    then stored as plain RGB (no tRNS chunk)."""
    small = img.resize((W, H), Image.LANCZOS).convert("RGBA").quantize(256, method=Image.Quantize.LIBIMAGEQUANT)
    small.putpalette(small.getpalette("RGB"), "RGB")
    small.info.pop("transparency", None)
    return small


def paint():
    cv = Canvas()
    for layer in LAYERS:
        layer(cv)
    return reduce(cv.img)


def check_text_box(img):
    x0, y0, x1, y1 = TEXT_BOX
    worst = min((luminance(img.getpixel((x, y))), x, y) for y in range(y0, y1 + 1) for x in range(x0, x1 + 1))
    if worst[0] < MIN_LUMINANCE:
        raise SystemExit("text area too dark: luminance %.3f at %d,%d" % worst)


def main(argv):
    """Paints and checks the picture before writing it: a failed check leaves the old file as it was."""
    if len(argv) != 2:
        raise SystemExit("usage: make_picture.py OUT.png")
    picture = paint()
    check_text_box(picture.convert("RGB"))
    picture.save(argv[1], format="PNG", optimize=True)


if __name__ == "__main__":
    main(sys.argv)
