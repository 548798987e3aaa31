"""The show's scroller text, and measuring and rendering text with the same SDL_ttf the show
uses, through ctypes.

Shared by the data files' tests and the end-to-end tests."""
import ctypes

SCROLLSOURCE = ("                  Froehliche Weihnachten wuenscht Christkind sehr, so "
                "bringt endlich die Geschenke her!   :)")


def window(tick):
    """The scroller window shown in tick `tick` (counted from 0)."""
    pos = tick % len(SCROLLSOURCE)
    return SCROLLSOURCE[pos:pos + 18]


_sdl = ctypes.CDLL("libSDL-1.2.so.0")
_ttf = ctypes.CDLL("libSDL_ttf-2.0.so.0")
_ttf.TTF_OpenFont.restype = ctypes.c_void_p
_ttf.TTF_OpenFont.argtypes = [ctypes.c_char_p, ctypes.c_int]
_ttf.TTF_SizeText.argtypes = [ctypes.c_void_p, ctypes.c_char_p,
                              ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
_ttf.TTF_RenderText_Solid.restype = ctypes.c_void_p
_ttf.TTF_RenderText_Solid.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_uint32]
_sdl.SDL_FreeSurface.argtypes = [ctypes.c_void_p]


class _Surface(ctypes.Structure):
    # The SDL 1.2 surface's leading fields, as the library lays them out.
    _fields_ = [("flags", ctypes.c_uint32), ("format", ctypes.c_void_p), ("w", ctypes.c_int),
                ("h", ctypes.c_int), ("pitch", ctypes.c_uint16), ("pixels", ctypes.c_void_p)]


class Font:
    def __init__(self, path, size=50):
        if _ttf.TTF_WasInit() == 0:
            _ttf.TTF_Init()
        self._font = _ttf.TTF_OpenFont(str(path).encode(), size)
        if not self._font:
            raise OSError(f"cannot open {path}")

    def size(self, text):
        w, h = ctypes.c_int(), ctypes.c_int()
        if _ttf.TTF_SizeText(self._font, text.encode("latin-1"), ctypes.byref(w),
                             ctypes.byref(h)) != 0:
            raise OSError(f"cannot measure {text!r}")
        return w.value, h.value

    def solid(self, text):
        """The solid rendering as rows of booleans: True where the text's colour is drawn."""
        ptr = _ttf.TTF_RenderText_Solid(self._font, text.encode("latin-1"), 0)
        if not ptr:
            raise OSError(f"cannot render {text!r}")
        surface = _Surface.from_address(ptr)
        raw = ctypes.string_at(surface.pixels, surface.pitch * surface.h)
        rows = [[raw[y * surface.pitch + x] != 0 for x in range(surface.w)]
                for y in range(surface.h)]
        _sdl.SDL_FreeSurface(ptr)
        return rows
