"""Shared by the install tests: the installed layout, every file below the prefix with its mode."""

SHARED = ("frostfunkel/rahmen.png", "frostfunkel/PC_Snowballs.ttf", "frostfunkel/xmas.mod",
          "applications/frostfunkel.desktop", "icons/hicolor/32x32/apps/frostfunkel.png",
          "man/man6/frostfunkel.6.gz", "doc/frostfunkel/copyright", "doc/frostfunkel/changelog.gz",
          "lintian/overrides/frostfunkel")
# Every installed file and its mode, below the prefix (the package puts bin/ in games/).
LAYOUT = {"bin/frostfunkel": 0o755, "libexec/frostfunkel/frostfunkel": 0o755,
          **{f"share/{path}": 0o644 for path in SHARED}}
