#!/usr/bin/python3
"""Paints the festive frame picture rahmen.png: fir garlands, baubles, stars, a bow and snow
around a light card."""

import hashlib
import math
import os
import random
import sys

# The palette quantiser may use OpenMP; one thread keeps its arithmetic in a fixed order.
os.environ["OMP_NUM_THREADS"] = "1"

from PIL import Image, ImageDraw, ImageFilter  # noqa: E402

W, H = 610, 390
SCALE = 4  # drawn at SCALE times the size, then reduced with LANCZOS
SEED = 1224  # every layer's random stream is derived from it and the layer's name

# Black text may appear anywhere in this box (picture coordinates, inclusive);
# it has to stay light, so the decoration keeps out of it.
TEXT_BOX = (25, 65, 595, 275)
MIN_CONTRAST = 4.5  # of black text on the card

# ---------------------------------------------------------------- geometry
# The picture is symmetric about its centre line. The garlands start at the corners, half-width
# out from it, and reach inwards to the bow (top) and to the big star (bottom).
CENTRE_X = W / 2
HALF_WIDTH = 302
TOP_REACH = HALF_WIDTH - 10  # the swags end beside the bow's knot
BOTTOM_REACH = HALF_WIDTH - 8  # the bottom rows end under the big star
BAND_XS = range(4, W - 3, 6)  # where the dark band under a garland is measured
PATH_STEPS = 30  # points on a garland's path from corner to middle

# The top swags: down from each corner and up again to the bow.
SWAG_TOP = 13  # height at the corner
SWAG_SAG = 15  # how far a swag hangs down
SWAG_ROUNDNESS = 1.2  # above 1 the swag's bottom is rounder, its ends steeper
SWAG_CLIMB = 3  # the bow sits this much higher than the corners
# The bottom rows rise from the corners towards the star.
GROUND_Y, GROUND_RISE = 352, 12  # the band under the bottom garland

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

# Line widths in picture pixels; no line is thinner than 2 canvas pixels.
HAIR, FINE, THIN, WIRE = 0.35, 0.5, 0.6, 0.7
# Pillow's radial gradient is 0 in its middle, 128 on its inscribed circle, 181 in its corners.
GRADIENT_EDGE, GRADIENT_CORNER = 128.0, 181.0
# Ovals of a small shiny ball in fractions of its radius (left, top, right, bottom from the
# centre): the lit body and the glint, both towards the upper left.
BERRY_BODY, BERRY_GLINT = (-0.85, -0.9, 0.7, 0.6), (-0.55, -0.6, -0.1, -0.15)
BEAD_BODY, BEAD_GLINT = (-0.85, -0.9, 0.6, 0.55), (-0.6, -0.65, -0.05, -0.15)
HOLLY_GLINT, CHAIN_GLINT = (-0.5, -0.6, -0.05, -0.15), (-0.7, -0.8, 0.3, 0.2)


def scaled(v):
    """Picture pixels to canvas pixels."""
    return v * SCALE


def scaled_points(points):
    return [(scaled(x), scaled(y)) for x, y in points]


def line_width(width):
    return max(2, int(scaled(width)))


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def bezier(p0, p1, p2, p3, n=24):
    out = []
    for i in range(n + 1):
        t = i / n
        u = 1 - t
        out.append((
            u * u * u * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t * t * t * p3[0],
            u * u * u * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t * t * t * p3[1]))
    return out


def luminance(rgb):
    """Relative luminance of an sRGB colour (0 black .. 1 white)."""
    def linear(c):
        c = c / 255.0
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = rgb[:3]
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b)


def contrast_with_black(rgb):
    """Contrast ratio of black text on this colour, 1 to 21."""
    return (luminance(rgb) + 0.05) / 0.05


def disc(d, x, y, r, fill):
    d.ellipse(scaled_points([(x - r, y - r), (x + r, y + r)]), fill=fill)


def oval(d, x, y, r, box, fill):
    """An oval in a box given in fractions of r around (x, y)."""
    left, top, right, bottom = box
    corners = [(x + r * left, y + r * top), (x + r * right, y + r * bottom)]
    d.ellipse(scaled_points(corners), fill=fill)


def along(x, reach):
    """How far a garland of that reach has come at x: 0 at the corner, 1 at its inner end."""
    return min(1.0, max(0.0, (HALF_WIDTH - abs(x - CENTRE_X)) / reach))


def swag_y(t, lower=2):
    """Height of the top garland at t along a swag; lower moves the whole swag down."""
    return SWAG_TOP + lower + SWAG_SAG * math.sin(t * math.pi) ** SWAG_ROUNDNESS - SWAG_CLIMB * t


def top_swag_y(x):
    return swag_y(along(x, TOP_REACH))


def rising_y(t, base, rise):
    """Height of a bottom row at t along it: from base at the corner up by rise in the middle."""
    return base - rise * math.sin(t * math.pi / 2)


def swag_path(side, reach, height):
    """Points from a corner (side -1 left, 1 right) inwards by reach, at heights height(t)."""
    steps = (i / PATH_STEPS for i in range(PATH_STEPS + 1))
    return [(CENTRE_X + side * (HALF_WIDTH - reach * t), height(t)) for t in steps]


# ---------------------------------------------------------------- fir
# Needle layers from back to front: colours, length, and how far along the stem they start.
NEEDLE_LAYERS = ((GREENS_BACK, 1.0, 0.0), (GREENS_MID, 0.85, 0.12), (GREENS_FRONT, 0.62, 0.3))
NEEDLE_ANGLE = math.radians(52)  # from the stem
BARE_STEM = 0.06  # the first part of a twig carries no needles
TIPS = 5  # fresh light needles at the end of a twig
SIDE_TWIG_FROM = 22  # twigs at least this long grow side twigs
SNOW_LIFT = 1.2  # snow rests this far above the stem
# A clump's shaded base, a little lower, and its lit top, in fractions of a lump's radius.
SNOW_BASE, SNOW_TOP = (-1, -0.55, 1, 0.55), (-1, -0.65, 1, 0.45)


def twig_path(rng, x, y, angle, length):
    """The stem, slightly bent, as (x, y, angle) at every step along it."""
    bend = rng.uniform(-0.25, 0.25) / max(length, 1)
    steps = max(4, int(length / 1.1))
    path = []
    for _ in range(steps + 1):
        path.append((x, y, angle))
        x += math.cos(angle) * length / steps
        y += math.sin(angle) * length / steps
        angle += bend * length / steps * 3
    return path


def needles(d, rng, path, needle, width):
    """Needles on both sides of the stem in three shades, shorter towards the tip."""
    steps = len(path) - 1
    for colours, reach, shift in NEEDLE_LAYERS:
        for i, (px, py, angle) in enumerate(path):
            t = i / steps
            if t < BARE_STEM:
                continue
            length = needle * reach * (1.0 - 0.5 * t) * rng.uniform(0.8, 1.1)
            for side in (-1, 1):
                spread = angle + side * (NEEDLE_ANGLE + rng.uniform(-0.2, 0.2)) - side * shift * 0.3
                sx, sy = px + math.cos(angle) * shift * 2, py + math.sin(angle) * shift * 2
                ex, ey = sx + math.cos(spread) * length, sy + math.sin(spread) * length
                d.line(scaled_points([(sx, sy), (ex, ey)]), fill=rng.choice(colours), width=width)
    ex, ey, end_angle = path[-1]
    for _ in range(TIPS):
        spread = end_angle + rng.uniform(-0.5, 0.5)
        length = needle * rng.uniform(0.35, 0.6)
        tip = (ex + math.cos(spread) * length, ey + math.sin(spread) * length)
        d.line(scaled_points([(ex, ey), tip]), fill=rng.choice(GREENS_TIP), width=width)


def above_stem(path, start, run):
    """Points of a snow clump just above the stem, each with how far along the clump
    (0..1) it lies."""
    for i in range(start, start + run):
        px, py, angle = path[i]
        nx, ny = -math.sin(angle), math.cos(angle)
        if ny > 0:
            nx, ny = -nx, -ny  # the normal that points up on screen
        yield px + nx * SNOW_LIFT, py + ny * SNOW_LIFT, (i - start) / max(run - 1, 1)


def snow_clumps(d, rng, path):
    """A few clumps of snow resting on the upper side of the stem: a shaded base, a lit top."""
    steps = len(path) - 1
    for _ in range(rng.randint(1, 2)):
        start = int(rng.uniform(0.15, 0.6) * steps)
        run = min(steps - start, rng.randint(3, 6))
        for cx, cy, t in above_stem(path, start, run):
            r = (1.3 + 1.3 * math.sin(t * math.pi)) * rng.uniform(0.85, 1.1)
            oval(d, cx, cy + 0.7, r, SNOW_BASE, SNOW_SHADE)
        for cx, cy, t in above_stem(path, start, run):
            oval(d, cx, cy, 1.2 + 1.2 * math.sin(t * math.pi), SNOW_TOP, SNOW_LIT)


def fir_branch(d, rng, x, y, angle, length, needle, snow=0.0, depth=0):
    """One fir twig: a curved stem, needles, light tips, on a main twig side twigs
    and maybe snow."""
    path = twig_path(rng, x, y, angle, length)
    d.line(scaled_points([(p[0], p[1]) for p in path]), fill=STEM,
           width=max(2, int(scaled(1.3 - 0.4 * depth))))
    needles(d, rng, path, needle, max(2, int(round(scaled(1.05 - 0.15 * depth)))))
    if depth > 0:
        return
    if length > SIDE_TWIG_FROM:
        for _ in range(rng.randint(1, 3)):
            px, py, a = path[int(rng.uniform(0.3, 0.7) * (len(path) - 1))]
            side = rng.choice((-1, 1))
            fir_branch(d, rng, px, py, a + side * rng.uniform(0.5, 0.8),
                       length * rng.uniform(0.3, 0.45), needle * 0.8, depth=1)
    if snow > 0 and rng.random() < snow:
        snow_clumps(d, rng, path)


def point_along(segments, s):
    """The point and direction at distance s along a polyline's segments."""
    for x0, y0, x1, y1, length, start in segments:
        if start <= s <= start + length + 1e-9:
            t = (s - start) / length if length else 0
            return x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, math.atan2(y1 - y0, x1 - x0)
    raise ValueError("%g is past the end of the path" % s)


def garland(d, rng, path, row):
    """Lays fir twigs along a polyline, pointing along it; a row is (spacing, length, needle,
    spread, snow)."""
    spacing, length, needle, spread, snow = row
    total, segments = 0.0, []
    for (x0, y0), (x1, y1) in zip(path, path[1:]):
        segment = math.hypot(x1 - x0, y1 - y0)
        segments.append((x0, y0, x1, y1, segment, total))
        total += segment
    s, twigs = 0.0, []
    while s <= total:
        twigs.append(point_along(segments, s))
        s += spacing * rng.uniform(0.8, 1.2)
    for x, y, a in twigs:
        a += rng.uniform(-spread, spread)
        fir_branch(d, rng, x, y, a, length * rng.uniform(0.85, 1.15), needle, snow=snow)


def cluster(d, rng, x, y, angles, length, needle, snow):
    for a in angles:
        fir_branch(d, rng, x, y, math.radians(a) + rng.uniform(-0.08, 0.08),
                   length * rng.uniform(0.85, 1.1), needle, snow=snow)


def base_band(d, rng, path, below, above):
    """Dark green body under a garland so no paper shows between the twigs."""
    upper = [(x, y - above * rng.uniform(0.7, 1.0)) for x, y in path]
    lower = [(x, y + below * rng.uniform(0.7, 1.0)) for x, y in reversed(path)]
    d.polygon(scaled_points(upper + lower), fill=GREENS_BACK[0])


# ---------------------------------------------------------------- baubles
# A bauble lit from the upper left, in fractions of its radius unless said otherwise.
BAUBLE_LIGHT = (-0.38, -0.42)  # the brightest spot, from the centre
BAUBLE_SHADING = 3.4, 0.9, 1.15  # the shading gradient's span, curve and gain
RIM_LIGHT, RIM_INSET = 120, (0.12, 0.2)  # light thrown back from the lower right rim
SOFTEN = 0.06  # blur of the rim light and the highlights
# Highlights as boxes in fractions of the bauble's box, with their strength.
HIGHLIGHTS = (((0.2, 0.16, 0.44, 0.34), 235), ((0.52, 0.12, 0.6, 0.18), 150))
BAND_ARC = (-0.05, 0.55, 0.05, 1.35)  # the band's ellipse, seen slightly from above
BAND_LINES = ((0.0, BAND_LIT), (0.09, BAND_SHADE))  # downwards from the arc
DOTS = range(-2, 3)  # a row of gold dots round the equator, smaller and higher to the sides
CAP_SIZE = (0.42, 0.28)  # half-width and half-height of the cap


def bauble_body(size, radius, colours):
    """The ball's colour: a radial falloff from the lit spot, and the light bounced
    back from the rim."""
    dark, light = colours
    span_in_radii, curve, gain = BAUBLE_SHADING
    span = int(radius * span_in_radii)
    gradient = Image.radial_gradient("L").resize((span, span), Image.BILINEAR)
    gradient = gradient.point(lambda v: min(255, int(255 * (v / GRADIENT_CORNER) ** curve * gain)))
    shade = Image.new("L", size, 255)
    hx, hy = size[0] / 2 + BAUBLE_LIGHT[0] * radius, size[1] / 2 + BAUBLE_LIGHT[1] * radius
    shade.paste(gradient, (int(hx - span / 2), int(hy - span / 2)))
    body = Image.composite(Image.new("RGB", size, dark), Image.new("RGB", size, light), shade)
    rim = Image.new("L", size, 0)
    ImageDraw.Draw(rim).ellipse((0, 0, size[0] - 1, size[1] - 1), fill=RIM_LIGHT)
    top_left, bottom_right = (-radius * inset for inset in RIM_INSET)
    ImageDraw.Draw(rim).ellipse(
        (top_left, top_left, size[0] - 1 + bottom_right, size[1] - 1 + bottom_right), fill=0)
    rim = rim.filter(ImageFilter.GaussianBlur(radius * SOFTEN))
    return Image.composite(Image.new("RGB", size, light), body, rim)


def bauble_pattern(body, radius, pattern):
    """A gold band round the equator, or a row of gold dots."""
    d = ImageDraw.Draw(body)
    width, height = body.size
    if pattern == "band":
        left, top, right, bottom = BAND_ARC
        for down, colour in BAND_LINES:
            box = (radius * left, radius * (top + down),
                   width + radius * right, radius * (bottom + down))
            d.arc(box, 0, 180, fill=colour, width=max(2, int(radius * 0.1)))
    elif pattern == "dots":
        for k in DOTS:
            cx = width / 2 + k * radius * 0.4
            cy = height / 2 + radius * 0.1 - abs(k) * radius * 0.04
            r = radius * 0.09 * (1 - abs(k) * 0.2)
            d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=DOT_GOLD)


def bauble_shine(body, radius):
    shine = Image.new("L", body.size, 0)
    for box, strength in HIGHLIGHTS:
        ImageDraw.Draw(shine).ellipse([f * body.size[i % 2] for i, f in enumerate(box)],
                                      fill=strength)
    shine = shine.filter(ImageFilter.GaussianBlur(radius * SOFTEN))
    return Image.composite(Image.new("RGB", body.size, WHITE), body, shine)


def bauble_cap(d, x, y, r):
    """A ribbed gold cap with a wire loop on top."""
    half_width, half_height = r * CAP_SIZE[0], r * CAP_SIZE[1]
    top, bottom = y - r - half_height, y - r + half_height * 0.7
    loop = [(x - half_width * 0.45, top - 2.2), (x + half_width * 0.45, top + 0.4)]
    d.ellipse(scaled_points(loop), outline=GOLD_WIRE, width=line_width(THIN))
    d.rectangle(scaled_points([(x - half_width, top), (x + half_width, bottom)]), fill=CAP_GOLD)
    for k in range(-2, 3):
        rib = x + k * half_width * 0.4
        d.line(scaled_points([(rib, top), (rib, bottom)]),
               fill=CAP_RIB_LIT if k % 2 else CAP_RIB_SHADE, width=max(1, int(scaled(HAIR))))


def bauble(img, x, y, r, colours, hang=None, pattern=None):
    """A glass ball lit from the upper left, with a gold cap and an optional string up to hang."""
    d = ImageDraw.Draw(img)
    if hang is not None:
        d.line(scaled_points([hang, (x, y - r)]), fill=GOLD_WIRE, width=line_width(WIRE))
    radius = scaled(r)
    box = (int(scaled(x) - radius), int(scaled(y) - radius),
           int(scaled(x) + radius) + 1, int(scaled(y) + radius) + 1)
    size = (box[2] - box[0], box[3] - box[1])
    body = bauble_body(size, radius, colours)
    bauble_pattern(body, radius, pattern)
    body = bauble_shine(body, radius)
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).ellipse((0, 0, size[0] - 1, size[1] - 1), fill=255)
    img.paste(body, box[:2], mask)
    bauble_cap(d, x, y, r)


# ---------------------------------------------------------------- small ornaments
STAR_POINTS, STAR_WAIST, STAR_FACETS = 5, 0.42, 0.86  # the facets leave a dark edge round the star
SPARKLE_WAIST = 0.18
FLAKE_ARMS, FLAKE_BRANCH_AT, FLAKE_BRANCH, FLAKE_BRANCH_ANGLE = 6, 0.55, 0.35, math.radians(45)
HOLLY_SPREAD = 0.55  # each leaf's turn away from the sprig's direction, in radians
HOLLY_LOBES, HOLLY_BULGE, HOLLY_SPIKES = 5, 0.28, (0.85, 1.25)  # the spikes alternate in and out
HOLLY_BERRIES = ((0, -1.1), (1.6, 0.6), (-1.5, 0.7))  # in steps of HOLLY_BERRY_STEP leaf lengths
HOLLY_BERRY_STEP, HOLLY_BERRY_SIZE = 0.11, 0.14
CONE_ROWS = 7


def star(d, x, y, r, turn=0.0):
    """Five-point star, point up unless turned (degrees), with facets: each arm has
    a lit and a shaded half."""
    corners = []
    for k in range(2 * STAR_POINTS):
        reach = r if k % 2 == 0 else r * STAR_WAIST
        a = math.radians(turn - 90 + k * 180 / STAR_POINTS)
        corners.append((x + math.cos(a) * reach, y + math.sin(a) * reach))
    d.polygon(scaled_points(corners), fill=STAR_EDGE)
    facets = [(x + (px - x) * STAR_FACETS, y + (py - y) * STAR_FACETS) for px, py in corners]
    for k in range(2 * STAR_POINTS):
        d.polygon(scaled_points([(x, y), facets[k], facets[(k + 1) % len(facets)]]),
                  fill=STAR_LIT if k % 2 == 0 else STAR_SHADE)


def sparkle(d, x, y, r):
    w = r * SPARKLE_WAIST
    d.polygon(scaled_points([(x, y - r), (x + w, y - w), (x + r, y), (x + w, y + w),
                             (x, y + r), (x - w, y + w), (x - r, y), (x - w, y - w)]), fill=SPARKLE)


def snowflake(d, x, y, r, colour=FLAKE_BLUE, rot=0.0, width=0.55):
    """Six arms, each with a pair of side branches."""
    wid = line_width(width)
    for k in range(FLAKE_ARMS):
        a = math.radians(rot + k * 360 / FLAKE_ARMS)
        arm = [(x, y), (x + math.cos(a) * r, y + math.sin(a) * r)]
        d.line(scaled_points(arm), fill=colour, width=wid)
        bx, by = x + math.cos(a) * r * FLAKE_BRANCH_AT, y + math.sin(a) * r * FLAKE_BRANCH_AT
        for side in (-1, 1):
            ba = a + side * FLAKE_BRANCH_ANGLE
            branch = [(bx, by), (bx + math.cos(ba) * r * FLAKE_BRANCH,
                                 by + math.sin(ba) * r * FLAKE_BRANCH)]
            d.line(scaled_points(branch), fill=colour, width=wid)


def leaf_edge(x, y, a, length, side, lobes):
    """One spiky edge of a holly leaf (side 1 or -1), through the given lobes from stalk to tip."""
    nx, ny = -math.sin(a), math.cos(a)
    edge = []
    for i in lobes:
        t = i / HOLLY_LOBES
        bulge = side * math.sin(t * math.pi) * length * HOLLY_BULGE * HOLLY_SPIKES[i % 2]
        edge.append((x + math.cos(a) * length * t + nx * bulge,
                     y + math.sin(a) * length * t + ny * bulge))
    return edge


def holly(d, x, y, angle, size):
    """Two spiky holly leaves and three red berries."""
    for turn in (-HOLLY_SPREAD, HOLLY_SPREAD):
        a = angle + turn
        outline = (leaf_edge(x, y, a, size, 1, range(HOLLY_LOBES + 1))
                   + leaf_edge(x, y, a, size, -1, range(HOLLY_LOBES, -1, -1)))
        d.polygon(scaled_points(outline), fill=HOLLY_LEAF)
        vein = size * 0.92
        d.line(scaled_points([(x, y), (x + math.cos(a) * vein, y + math.sin(a) * vein)]),
               fill=HOLLY_VEIN, width=line_width(FINE))
    for bx, by in HOLLY_BERRIES:
        cx, cy = x + bx * size * HOLLY_BERRY_STEP, y + by * size * HOLLY_BERRY_STEP
        r = size * HOLLY_BERRY_SIZE
        disc(d, cx, cy, r, HOLLY_BERRY)
        oval(d, cx, cy, r, HOLLY_GLINT, PINK_GLINT)


def pine_cone(d, x, y, angle, length):
    """Brown cone built from overlapping scale rows, tip pointing along angle."""
    ca, sa = math.cos(angle), math.sin(angle)
    for i in range(CONE_ROWS):
        t = i / (CONE_ROWS - 1)
        cx, cy = x + ca * length * t * 0.9, y + sa * length * t * 0.9
        row_r = length * 0.3 * (1 - 0.55 * t) + 0.8
        disc(d, cx, cy, row_r, CONE_BODY)
        for side in (-0.5, 0.5):
            sx, sy = cx - sa * row_r * side, cy + ca * row_r * side
            scale_r = row_r * 0.55
            disc(d, sx, sy, scale_r, CONE_SCALE)
            box = [(sx - scale_r, sy - scale_r), (sx + scale_r, sy + scale_r)]
            d.arc(scaled_points(box), 20, 160, fill=CONE_EDGE, width=line_width(HAIR))


def berries(d, rng, x, y, n, r):
    """A small bunch of red berries with glints."""
    for k in range(n):
        a = 2 * math.pi * k / n + rng.uniform(-0.3, 0.3)
        cx, cy = x + math.cos(a) * r * 1.1, y + math.sin(a) * r * 1.1
        disc(d, cx, cy, r, BERRY_SHADE)
        oval(d, cx, cy, r, BERRY_BODY, BERRY_RED)
        oval(d, cx, cy, r, BERRY_GLINT, BERRY_SHINE)


def bead_chain(d, x0, y0, x1, y1, sag, r=1.3, step=3.6):
    """Tiny gold beads draped between two points."""
    n = max(2, int(math.hypot(x1 - x0, y1 - y0) / step))
    for i in range(n + 1):
        t = i / n
        x = x0 + (x1 - x0) * t
        y = y0 + (y1 - y0) * t + sag * 4 * t * (1 - t)  # a parabola, sag deep in the middle
        disc(d, x, y, r, CHAIN_GOLD)
        oval(d, x, y, r, CHAIN_GLINT, CHAIN_SHINE)


def bead(d, x, y, r, colours):
    dark, light = colours
    disc(d, x, y, r, dark)
    oval(d, x, y, r, BEAD_BODY, mix(dark, light, 0.6))
    oval(d, x, y, r, BEAD_GLINT, BEAD_SHINE)


def side_cord(d, x0, y0, y1, period=7.0, half=2.6):
    """A twisted red and gold cord down a side edge: slanted strands, each with a lit edge."""
    d.line(scaled_points([(x0, y0), (x0, y1)]), fill=BORDER_RED, width=int(scaled(half * 2)))
    y, k = y0, 0
    while y < y1:
        fill, lit = CORD_RED if k % 2 == 0 else CORD_GOLD
        strand = [(x0 - half, y), (x0 - half, y + period * 0.35), (x0 + half, y + period * 0.85),
                  (x0 + half, y + period * 0.5)]
        d.polygon(scaled_points(strand), fill=fill)
        sheen = [(x0 - half * 0.8, y + period * 0.05), (x0 + half * 0.8, y + period * 0.5)]
        d.line(scaled_points(sheen), fill=lit, width=line_width(FINE))
        y += period * 0.5
        k += 1


# ---------------------------------------------------------------- the bow
# Its outlines in fractions of the bow's half-span (x, outwards) and height (y, down) from the knot.
BOW_TAIL = ((0.025, 0.0625), (0.58, 1.3), (0.42, 1.2), (0.36, 1.42), (0.2, 1.0), (-0.05, 0.1875))
BOW_TAIL_CREASE = ((0.075, 0.25), (0.36, 1.1))
# The upper edge from the knot out, then the lower edge back to the knot.
BOW_LOOP = (((0, -0.15625), (0.3, -1.45), (1.1, -1.35), (1, -0.15)),
            ((1, -0.15), (0.92, 0.85), (0.3, 0.55), (0, 0.15625)))
BOW_LOOP_INSIDE = (((0.5, -0.25), (0.6, -0.8), (0.92, -0.75), (0.86, -0.1)),
                   ((0.86, -0.1), (0.82, 0.4), (0.55, 0.3), (0.5, -0.25)))
BOW_LOOP_GLINT = slice(4, 20)  # the lit stretch of the upper edge
BOW_FOLD = ((0.075, 0.25), (0.25, 1), (0.4, 1.1), (0.5, 0.6))  # scaled by each fold's height below
BOW_FOLDS = (-0.35, 0.25)
BOW_KNOT = (0.15, 0.45, 0.8)  # half-width, half-height, narrowing towards the bottom
BOW_KNOT_SHEEN = ((-0.4, -0.7), (-0.35, 0.6))  # in fractions of the knot's half-width and height


def shaded_polygon(img, polygon, top_colour, bottom_colour, outline=None):
    """Fills a polygon (picture coordinates) with a vertical gradient, lit from above."""
    xs, ys = [p[0] for p in polygon], [p[1] for p in polygon]
    x0, y0 = int(scaled(min(xs))) - 1, int(scaled(min(ys))) - 1
    x1, y1 = int(scaled(max(xs))) + 2, int(scaled(max(ys))) + 2
    size = (x1 - x0, y1 - y0)
    grad = Image.linear_gradient("L").resize(size, Image.BILINEAR)
    fill = Image.composite(Image.new("RGB", size, bottom_colour),
                           Image.new("RGB", size, top_colour), grad)
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).polygon([(scaled(px) - x0, scaled(py) - y0) for px, py in polygon],
                                 fill=255)
    img.paste(fill, (x0, y0), mask)
    if outline is not None:
        ImageDraw.Draw(img).line(scaled_points(polygon + polygon[:1]), fill=outline,
                                 width=line_width(THIN), joint="curve")


def bow_tail(img, at):
    """One of the notched tails with its crease; at(fx, fy) places a point given in
    fractions of the bow."""
    d = ImageDraw.Draw(img)
    shaded_polygon(img, [at(*p) for p in BOW_TAIL], BOW_RED, BOW_SHADE, outline=BOW_DEEP)
    d.line(scaled_points([at(*p) for p in BOW_TAIL_CREASE]), fill=BOW_DEEP, width=line_width(WIRE))


def bow_loop(img, at):
    """One loop with its shaded opening, its lit edge and the folds running into it
    from the knot."""
    d = ImageDraw.Draw(img)
    upper, lower = (bezier(*(at(*p) for p in edge)) for edge in BOW_LOOP)
    shaded_polygon(img, upper + lower, BOW_LIT, BOW_SHADE, outline=BOW_DEEP)
    inside = [point for edge in BOW_LOOP_INSIDE for point in bezier(*(at(*p) for p in edge))]
    shaded_polygon(img, inside, BOW_DEEP, BOW_SHADE)
    d.line(scaled_points(upper[BOW_LOOP_GLINT]), fill=PINK_GLINT, width=line_width(WIRE))
    for fold in BOW_FOLDS:
        crease = bezier(*(at(fx, fy * fold) for fx, fy in BOW_FOLD), 10)
        d.line(scaled_points(crease), fill=BOW_SHADE, width=line_width(WIRE))


def bow(img, x, y, span, height):
    """A red satin bow: two loops pinched at the knot, folds, and two notched tails."""
    def on_side(side):
        return lambda fx, fy: (x + side * span * fx, y + height * fy)
    for side in (-1, 1):
        bow_tail(img, on_side(side))
    for side in (-1, 1):
        bow_loop(img, on_side(side))
    half_width, half_height, narrowing = BOW_KNOT
    knot_w, knot_h = span * half_width, height * half_height
    knot = [(x - knot_w, y - knot_h), (x + knot_w, y - knot_h),
            (x + knot_w * narrowing, y + knot_h), (x - knot_w * narrowing, y + knot_h)]
    shaded_polygon(img, knot, KNOT_LIT, KNOT_SHADE, outline=BOW_DEEP)
    sheen = [(x + knot_w * fx, y + knot_h * fy) for fx, fy in BOW_KNOT_SHEEN]
    ImageDraw.Draw(img).line(scaled_points(sheen), fill=KNOT_SHEEN, width=line_width(WIRE))


# ---------------------------------------------------------------- light and shadow
SHADOW_OFFSET, SHADOW_BLUR, SHADOW_STRENGTH = (1.2, 1.8), 1.6, 0.32


def glow(img, x, y, r, colour, strength):
    """Soft round light on the paper, used behind the big star."""
    span = int(scaled(r) * 2)
    falloff = Image.radial_gradient("L").resize((span, span), Image.BILINEAR)
    falloff = falloff.point(lambda v: int(strength * max(0.0, 1 - v / GRADIENT_EDGE) ** 1.6))
    corner = (int(scaled(x) - span / 2), int(scaled(y) - span / 2))
    img.paste(Image.new("RGB", (span, span), colour), corner, falloff)


def shadow_under(img, layer):
    """The decoration's soft shadow on the card, down and to the right."""
    alpha = layer.getchannel("A").filter(ImageFilter.GaussianBlur(scaled(SHADOW_BLUR)))
    alpha = alpha.point(lambda v: int(v * SHADOW_STRENGTH))
    shifted = Image.new("L", img.size, 0)
    shifted.paste(alpha, tuple(int(scaled(v)) for v in SHADOW_OFFSET))
    img.paste(Image.new("RGB", img.size, SHADOW), (0, 0), shifted)


# ---------------------------------------------------------------- placements
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
PRINTED_FLAKES = mirrored([(150, 52, 5), (250, 46, 4), (40, 296, 5), (200, 288, 4), (118, 292, 4),
                          (88, 56, 4)], pairwise=True)
# Watermark: snow crystals on a diamond grid, too pale to disturb the dotted letters.
WATERMARK_GRID = 12, 8, 56, 50  # columns, rows, their spacing
WATERMARK_AT, WATERMARK_SIZE, WATERMARK_STRENGTH = (26, 20), 7.5, 30
CORNER_RADIUS, BORDER_WIDTH = 8, 3  # the red edge; a one-pixel gold line runs inside it
STAR_GLOW_AT = (CENTRE_X, 322, 46, 150)  # x, y, radius, strength
# (x, y, size, angles in degrees, needle, snow)
CORNER_TWIGS = mirrored([(4, 4, 42, [8, 28, 50, 72], 8.5, 0.5),
                         (4, H - 4, 46, [-8, -30, -55, -80], 9, 0.4)], pairwise=True, turn=True)
# (x, y, size, angle in degrees)
HOLLY_TOP = mirrored([(30, 30, 18, 20)], turn=True)
CORNER_CONES = mirrored([(42, 356, 21, -35)], turn=True)
HOLLY_BOTTOM = mirrored([(30, 330, 18, -25)], turn=True)
GARLAND_CONES = mirrored([(120, 378, 16, -20)], turn=True)
BERRY_BUNCHES = mirrored([(112, 356), (250, 372)]) + mirrored([(200, 382)])
BERRY_COUNT, BERRY_SIZE = 4, 2.1
# Rows of the top garland: how far below the swag line, then
# (spacing, length, needle, spread, snow).
TOP_ROWS = ((4, (10, 28, 8.0, 0.32, 0.5)), (0, (6.5, 30, 8.5, 0.32, 0.5)))
TOP_BAND = (4, 3)  # the dark band reaches this far below and above the swag line
# Rows of the bottom garland: height at the corner, rise to the middle, then as above.
BOTTOM_ROWS = ((378, 4, (8, 30, 9, 0.4, 0.2)), (362, 10, (6.5, 32, 9.5, 0.4, 0.35)),
               (346, 14, (6.5, 30, 9, 0.4, 0.55)))
BOTTOM_BAND = (70, 0)
# Side cords: x from the edge, from y to y; beads from y to y, apart, their colours top to bottom.
CORD_X, CORD_SPAN, CORD_BEAD_ROW, CORD_BEAD_SIZE = 9, (40, 350), range(88, 270, 36), 3.0
CORD_BEADS = (GOLD, RED, GOLD, BLUE, GOLD)
# bead chains under the top swags, from one x to another, each beside its mirror image
CHAIN_SPANS = [span for a, b in ((22, 100), (100, 176), (176, 262))
               for span in ((a, b), (W - a, W - b))]
CHAIN_BELOW, CHAIN_SAG = 5, 9  # under the swag line
# (x, y, radius, pattern) with the colours listed apart: the two sides differ in colour only
HANGING_BAUBLES = mirrored([(70, 46, 9, "band"), (140, 40, 8, None), (215, 47, 9, "dots")])
HANGING_COLOURS = (RED, GOLD, BLUE, GREEN_BALL, SILVER, RED)
STRING = 12  # from a hanging bauble's top to where it hangs
NESTLED_BAUBLES = (mirrored([(80, 334, 11, None), (150, 326, 12, "band"), (222, 332, 10, "dots")])
                   + mirrored([(262, 348, 9, None)]) + mirrored([(186, 356, 8, None)]))
NESTLED_COLOURS = (GOLD, RED, PURPLE, BLUE, RED, SILVER, SILVER, GOLD, BLUE, PURPLE)
# small stars, turned at random by at most the tilt in degrees
TOP_STARS, TOP_TILT = mirrored([(105, 24, 7), (178, 30, 6)]) + mirrored([(252, 22, 6)]), 12
BOTTOM_STARS, BOTTOM_TILT = mirrored([(115, 310, 7), (190, 306, 6)]) + mirrored([(60, 304, 5)]), 15
BOW = (CENTRE_X, 22, 40, 16)  # knot x, y, half-span, height
BIG_STAR = (CENTRE_X, 324, 24)
SPARKLES = ((334, 296, 5), (276, 300, 3.5), (240, 296, 3), (372, 298, 3.5), (120, 50, 3),
            (490, 50, 3), (300, 52, 3))
SNOWFALL = 300  # flakes tried; those over the text box or its margin are left out
SNOWFALL_MARGIN, SNOWFLAKE_SIZES = 4, (0.7, 1.6)


# ---------------------------------------------------------------- the layers
class Canvas:
    """The card drawn at SCALE times the size, the decoration layer above it, and the random stream
    of the layer being painted."""

    def __init__(self):
        self.img = Image.new("RGB", (scaled(W), scaled(H)), PAPER_CENTRE)
        self.deco = Image.new("RGBA", self.img.size, (0, 0, 0, 0))
        self.rng = None

    def on_card(self):
        return ImageDraw.Draw(self.img)

    def on_deco(self):
        return ImageDraw.Draw(self.deco)


def paper(canvas):
    """Warm ivory, a touch lighter in the middle where the text sits, with a faint watermark."""
    grad = Image.radial_gradient("L").resize(canvas.img.size, Image.BILINEAR)
    centre = Image.new("RGB", canvas.img.size, PAPER_CENTRE)
    edge = Image.new("RGB", canvas.img.size, PAPER_EDGE)
    canvas.img.paste(Image.composite(edge, centre, grad))
    mask = Image.new("L", canvas.img.size, 0)
    watermark = ImageDraw.Draw(mask)
    columns, rows, dx, dy = WATERMARK_GRID
    for row in range(rows):
        for col in range(columns):
            x = WATERMARK_AT[0] + col * dx + (dx / 2 if row % 2 else 0)
            snowflake(watermark, x, WATERMARK_AT[1] + row * dy, WATERMARK_SIZE, colour=255,
                      rot=(row * 7 + col * 13) % 60, width=WIRE)
    mask = mask.point(lambda v: v * WATERMARK_STRENGTH // 255)
    canvas.img.paste(Image.new("RGB", canvas.img.size, PATTERN), (0, 0), mask)


def card_prints(canvas):
    """Icy snowflakes printed on the card around the greenery, and the glow behind the big star."""
    d = canvas.on_card()
    for x, y, r in PRINTED_FLAKES:
        snowflake(d, x, y, r, colour=PRINTED_FLAKE, rot=canvas.rng.uniform(0, 60))
    x, y, r, strength = STAR_GLOW_AT
    glow(canvas.img, x, y, r, STAR_GLOW, strength)


def top_garland(canvas):
    """Two swags from the corners to the bow in the middle, over a dark band."""
    d = canvas.on_deco()
    base_band(d, canvas.rng, [(x, top_swag_y(x)) for x in BAND_XS], *TOP_BAND)
    for side in (-1, 1):
        for lower, row in TOP_ROWS:
            garland(d, canvas.rng, swag_path(side, TOP_REACH, lambda t: swag_y(t, lower)), row)


def bottom_garland(canvas):
    """Three rows from the corners to the big star in the middle, over a deep band."""
    d = canvas.on_deco()
    ground = [(x, rising_y(along(x, BOTTOM_REACH), GROUND_Y, GROUND_RISE)) for x in BAND_XS]
    base_band(d, canvas.rng, ground, *BOTTOM_BAND)
    for side in (-1, 1):
        for base, rise, row in BOTTOM_ROWS:
            path = swag_path(side, BOTTOM_REACH, lambda t: rising_y(t, base, rise))
            garland(d, canvas.rng, path, row)


def corner_twigs(canvas):
    """Fir twigs fanning out of each corner."""
    for x, y, length, angles, needle, snow in CORNER_TWIGS:
        cluster(canvas.on_deco(), canvas.rng, x, y, angles, length, needle, snow)


def side_cords(canvas):
    """Thin cords with beads down the sides (the right strip beside the text is narrow)."""
    d = canvas.on_deco()
    for x0 in (CORD_X, W - CORD_X):
        side_cord(d, x0, *CORD_SPAN)
        for i, y in enumerate(CORD_BEAD_ROW):
            bead(d, x0, y, CORD_BEAD_SIZE, CORD_BEADS[i % len(CORD_BEADS)])


def corner_holly(canvas):
    """Holly in the four corners and a pine cone in each lower one."""
    d = canvas.on_deco()
    for x, y, size, angle in HOLLY_TOP:
        holly(d, x, y, math.radians(angle), size)
    for x, y, size, angle in CORNER_CONES:
        pine_cone(d, x, y, math.radians(angle), size)
    for x, y, size, angle in HOLLY_BOTTOM:
        holly(d, x, y, math.radians(angle), size)


def garland_trim(canvas):
    """Berries and cones tucked into the bottom garland, gold bead chains under the top swags."""
    d = canvas.on_deco()
    for x, y in BERRY_BUNCHES:
        berries(d, canvas.rng, x, y, BERRY_COUNT, BERRY_SIZE)
    for x, y, size, angle in GARLAND_CONES:
        pine_cone(d, x, y, math.radians(angle), size)
    for xa, xb in CHAIN_SPANS:
        bead_chain(d, xa, top_swag_y(xa) + CHAIN_BELOW, xb, top_swag_y(xb) + CHAIN_BELOW,
                   CHAIN_SAG)


def top_ornaments(canvas):
    """Baubles hanging from the swags (their lowest point stays above the text box),
    stars and the bow."""
    for (x, y, r, pattern), colours in zip(HANGING_BAUBLES, HANGING_COLOURS):
        bauble(canvas.deco, x, y, r, colours, hang=(x, y - r - STRING), pattern=pattern)
    for x, y, r in TOP_STARS:
        star(canvas.on_deco(), x, y, r, turn=canvas.rng.uniform(-TOP_TILT, TOP_TILT))
    bow(canvas.deco, *BOW)


def bottom_ornaments(canvas):
    """Baubles nestled in the greenery around a big star, and small stars above them."""
    for (x, y, r, pattern), colours in zip(NESTLED_BAUBLES, NESTLED_COLOURS):
        bauble(canvas.deco, x, y, r, colours, pattern=pattern)
    d = canvas.on_deco()
    for x, y, r in BOTTOM_STARS:
        star(d, x, y, r, turn=canvas.rng.uniform(-BOTTOM_TILT, BOTTOM_TILT))
    star(d, *BIG_STAR)


def decoration_onto_card(canvas):
    shadow_under(canvas.img, canvas.deco)
    canvas.img.paste(canvas.deco, (0, 0), canvas.deco)


def sparkles(canvas):
    d = canvas.on_card()
    for x, y, r in SPARKLES:
        sparkle(d, x, y, r)


def snowfall(canvas):
    """Falling snow over the decorated bands only."""
    d, rng = canvas.on_card(), canvas.rng
    x0, y0, x1, y1 = TEXT_BOX
    for _ in range(SNOWFALL):
        x, y = rng.uniform(0, W), rng.uniform(0, H)
        if (x0 - SNOWFALL_MARGIN <= x <= x1 + SNOWFALL_MARGIN
                and y0 - SNOWFALL_MARGIN <= y <= y1 + SNOWFALL_MARGIN):
            continue
        disc(d, x, y, rng.uniform(*SNOWFLAKE_SIZES), WHITE)


def border(canvas):
    """Deep red edge with a gold line; the very corners are rounded off into the black screen."""
    w, h = canvas.img.size
    mask = Image.new("L", canvas.img.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, w - 1, h - 1), radius=scaled(CORNER_RADIUS),
                                           fill=255)
    canvas.img.paste(Image.composite(canvas.img, Image.new("RGB", canvas.img.size, SCREEN), mask))
    d = canvas.on_card()
    d.rounded_rectangle((0, 0, w - 1, h - 1), radius=scaled(CORNER_RADIUS), outline=BORDER_RED,
                        width=scaled(BORDER_WIDTH))
    inset = scaled(BORDER_WIDTH)
    d.rounded_rectangle((inset, inset, w - 1 - inset, h - 1 - inset),
                        radius=scaled(CORNER_RADIUS - BORDER_WIDTH), outline=BORDER_GOLD,
                        width=scaled(1))


# The picture is painted layer by layer in this order, each over the ones before.
LAYERS = (paper, card_prints, top_garland, bottom_garland, corner_twigs, side_cords, corner_holly,
          garland_trim, top_ornaments, bottom_ornaments, decoration_onto_card, sparkles, snowfall,
          border)


def layer_stream(name):
    """The random stream of the layer of that name, from SEED and the name alone: a change to one
    layer leaves the others as they were."""
    digest = hashlib.sha256(("%d %s" % (SEED, name)).encode()).digest()
    return random.Random(int.from_bytes(digest[:8], "big"))


def reduce(img):
    """Down to the picture's size with LANCZOS, then to 256 well chosen colours, which keep the
    file small (plain RGB would be near the size limit). Quantised from RGBA because Pillow hands
    RGB to libimagequant with an undefined alpha byte; the picture is opaque, so the palette is
    then stored as plain RGB (no tRNS chunk)."""
    small = img.resize((W, H), Image.LANCZOS).convert("RGBA")
    small = small.quantize(256, method=Image.Quantize.LIBIMAGEQUANT)
    small.putpalette(small.getpalette("RGB"), "RGB")
    small.info.pop("transparency", None)
    return small


def paint_full_size():
    """The picture at SCALE times its size, every layer painted with its own random stream."""
    canvas = Canvas()
    for layer in LAYERS:
        canvas.rng = layer_stream(layer.__name__)
        layer(canvas)
    return canvas.img


def check_text_box(img):
    x0, y0, x1, y1 = TEXT_BOX
    worst = min((contrast_with_black(img.getpixel((x, y))), x, y)
                for y in range(y0, y1 + 1) for x in range(x0, x1 + 1))
    if worst[0] < MIN_CONTRAST:
        raise SystemExit("text area too dark: contrast %.2f:1 at %d,%d" % worst)


def main(argv):
    """Paints and checks the picture before writing it: a failed check leaves the old
    file as it was."""
    if len(argv) != 2:
        raise SystemExit("usage: make_picture.py OUT.png")
    picture = reduce(paint_full_size())
    check_text_box(picture.convert("RGB"))
    picture.save(argv[1], format="PNG", optimize=True)


if __name__ == "__main__":
    main(sys.argv)
