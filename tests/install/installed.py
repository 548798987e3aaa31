"""Shared by the install tests: the installed layout, every file below the prefix with its mode."""

ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
SHARED = ("frostfunkel/rahmen.png", "frostfunkel/PC_Snowballs.ttf", "frostfunkel/xmas.mod",
          "applications/frostfunkel.desktop", "metainfo/org.example.frostfunkel.metainfo.xml",
          "man/man6/frostfunkel.6.gz", "doc/frostfunkel/LICENSE", "icons/hicolor/scalable/apps/"
          "frostfunkel.svg", *(f"icons/hicolor/{s}x{s}/apps/frostfunkel.png" for s in ICON_SIZES))
# Every file a plain install puts below the prefix, and its mode.
LAYOUT = {"bin/frostfunkel": 0o755, "libexec/frostfunkel/frostfunkel": 0o755,
          **{f"share/{path}": 0o644 for path in SHARED}}
