from typing import Optional

from ._errors import ArchiveError as ArchiveError
from ._errors import CipherError as CipherError
from ._errors import DataError as DataError
from ._errors import Error as Error
from ._errors import ExtractError as ExtractError
from ._errors import TruncatedError as TruncatedError
from . import archive as archive, gz as gz, rsa as rsa, seed as seed, sha1 as sha1, ven as ven

NUM_DECIMAL: int
NUM_CIRCLED: int
NUM_ROMAN_UPPER: int
NUM_ROMAN_LOWER: int
NUM_LATIN_UPPER: int
NUM_LATIN_LOWER: int
NUM_CIRCLED_LATIN_UPPER: int
NUM_CIRCLED_LATIN_LOWER: int
NUM_KOREAN_SYLLABLE: int
NUM_CIRCLED_KOREAN_SYLLABLE: int
NUM_KOREAN_CONSONANT: int
NUM_CIRCLED_KOREAN_CONSONANT: int
NUM_KOREAN_WORDS: int
NUM_HANJA_WORDS: int
NUM_CIRCLED_IDEOGRAPH: int
NUM_STEM_KOREAN: int
NUM_STEM_HANJA: int
NUM_FOOTNOTE: int
NUM_REPEAT_SYMBOL: int

def numstr(style: int, number: int, decoration: Optional[str] = ..., extend: bool = ...) -> str: ...
