"""The SEED block cipher (128-bit key and block) in ECB, CBC, OFB or CFB (128-bit feedback)
mode, with PKCS padding (ECB and CBC) on by default.

    cipher = ydr.seed.new(key, ydr.seed.MODE_CBC, iv)
    ciphertext = cipher.encrypt(data)                 # one call
    enc = cipher.encryptor()                          # or streaming
    ciphertext = enc.update(part1) + enc.update(part2) + enc.finalize()
"""

from . import _ydr
from ._errors import CipherError

__all__ = ["new", "Seed", "MODE_ECB", "MODE_CBC", "MODE_OFB", "MODE_CFB", "CipherError"]

MODE_ECB = 1
MODE_CBC = 2
MODE_OFB = 3
MODE_CFB = 4
_MODES = {"ECB": MODE_ECB, "CBC": MODE_CBC, "OFB": MODE_OFB, "CFB": MODE_CFB}


class Seed:
    """A key, mode, initial vector and padding choice; makes encrypting and decrypting contexts."""

    block_size = 16

    def __init__(self, key, mode, iv=None, padding=True):
        if isinstance(mode, str):
            try:
                mode = _MODES[mode.upper()]
            except KeyError:
                raise ValueError(f"unknown mode {mode!r}") from None
        self._key = bytes(key)
        if len(self._key) != 16:
            raise ValueError("the SEED key is 16 bytes")
        self.mode = mode
        self.iv = None if iv is None else bytes(iv)
        if mode != MODE_ECB and self.iv is None:
            raise ValueError("this mode needs a 16-byte initial vector")
        # Padding applies to ECB and CBC; the stream modes take data of any length.
        self.padding = bool(padding) and mode in (MODE_ECB, MODE_CBC)

    def encryptor(self):
        """A context: update(data) -> bytes any number of times, then finalize() -> bytes."""
        return _ydr.SeedContext(self._key, self.mode, self.iv, self.padding, True)

    def decryptor(self):
        """A context for decryption; finalize() checks and removes the padding (CipherError if wrong)."""
        return _ydr.SeedContext(self._key, self.mode, self.iv, self.padding, False)

    def encrypt(self, data):
        context = self.encryptor()
        return context.update(data) + context.finalize()

    def decrypt(self, data):
        context = self.decryptor()
        return context.update(data) + context.finalize()


def new(key, mode, iv=None, padding=True):
    """A SEED cipher: `key` 16 bytes, `mode` MODE_* (or 'ECB', 'CBC', 'OFB', 'CFB'), `iv` 16
    bytes (not for ECB), `padding` PKCS padding for ECB and CBC."""
    return Seed(key, mode, iv, padding)
