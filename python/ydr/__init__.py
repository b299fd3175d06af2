"""Python access to the ydr library: streams (ydr.gz), archives (ydr.archive), SHA-1
(ydr.sha1), SEED (ydr.seed), RSA (ydr.rsa), document encryption (ydr.ven) and number
strings (ydr.numstr).

Every function takes bytes through the buffer protocol (bytes, bytearray, memoryview, numpy
arrays) without copying them, and releases the GIL while it works, so threads run at once.
"""

from . import _ydr
from ._errors import ArchiveError, CipherError, DataError, Error, ExtractError, TruncatedError

__all__ = [
    "Error",
    "DataError",
    "TruncatedError",
    "ArchiveError",
    "ExtractError",
    "CipherError",
    "numstr",
    "NUM_DECIMAL",
]

# Numbering styles for numstr.
NUM_DECIMAL = 0
NUM_CIRCLED = 1
NUM_ROMAN_UPPER = 2
NUM_ROMAN_LOWER = 3
NUM_LATIN_UPPER = 4
NUM_LATIN_LOWER = 5
NUM_CIRCLED_LATIN_UPPER = 6
NUM_CIRCLED_LATIN_LOWER = 7
NUM_KOREAN_SYLLABLE = 8
NUM_CIRCLED_KOREAN_SYLLABLE = 9
NUM_KOREAN_CONSONANT = 10
NUM_CIRCLED_KOREAN_CONSONANT = 11
NUM_KOREAN_WORDS = 12
NUM_HANJA_WORDS = 13
NUM_CIRCLED_IDEOGRAPH = 14
NUM_STEM_KOREAN = 15
NUM_STEM_HANJA = 16
NUM_FOOTNOTE = 128
NUM_REPEAT_SYMBOL = 129
__all__ += [name for name in list(globals()) if name.startswith("NUM_") and name != "NUM_DECIMAL"]


def numstr(style, number, decoration=None, extend=False):
    """The label of `number` in a numbering style (``NUM_*``), as text.

    `decoration` is None or three characters: the symbol NUM_REPEAT_SYMBOL repeats, an
    opening and a closing character (a character below U+0020 means none). `extend` selects
    the extended form, whose labels grow instead of cycling. Below 1, every style but
    decimal gives an empty label.
    """
    return _ydr.numstr(int(style), int(number), decoration, bool(extend))


def __getattr__(name):
    # The submodules load on first use: ``import ydr`` then ``ydr.gz.compress(...)``.
    if name in ("gz", "archive", "sha1", "seed", "rsa", "ven"):
        import importlib

        return importlib.import_module("." + name, __name__)
    raise AttributeError(f"module 'ydr' has no attribute {name!r}")
