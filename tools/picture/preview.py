#!/usr/bin/python3
"""Composes a screen-like preview of rahmen.png with placeholder black text (for looking, not for the show)."""

import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

ROOT = Path(__file__).resolve().parents[2]


def main(picture, out, scale=1):
    screen = Image.new("RGB", (640, 480), (0, 0, 0))
    screen.paste(Image.open(picture).convert("RGB"), (15, 85))
    d = ImageDraw.Draw(screen)
    font_path = ROOT / "data" / "PC_Snowballs.ttf"
    if font_path.exists():
        font = ImageFont.truetype(str(font_path), 50)
    else:
        font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 44)
    title = "Happy XMAS"
    box = d.textbbox((0, 0), title, font=font)
    w, h = box[2], box[3]
    d.text((480 - w, 150), title, font=font, fill=(0, 0, 0))
    d.text((50, 150 + h + 30), "Froehliche Weihn", font=font, fill=(0, 0, 0))
    if scale != 1:
        screen = screen.resize((640 * scale, 480 * scale), Image.NEAREST)
    screen.save(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 1)
