"""Document encryption under a password, in place in a writable buffer.

    key = ydr.ven.Key(4, "password")      # kinds 1-3: DES; 4: AES-128 CFB-1; 'lvo': AES-128 ECB
    buf = bytearray(document)
    key.encrypt(buf)                       # whole units only: 8 bytes (DES) or 16 (AES)
    ydr.ven.Key(4, "password").decrypt(buf)

The units of one key object form one continuous stream over all its calls (kind 4): data
encrypted through one object is decrypted by a new object made from the same password, fed
the same units in the same order.
"""

from . import _ydr

__all__ = ["Key", "make_password"]


class Key:
    """A document encryption key made from a password (text)."""

    def __init__(self, kind, password):
        if kind == "lvo":
            kind = 0
        elif not isinstance(kind, int) or not 1 <= kind <= 4:
            raise ValueError("the kind is 1, 2, 3, 4 or 'lvo'")
        self.kind = kind
        self._key = _ydr.VenKey(kind, password)
        # DES keys work in 8-byte units, AES keys in 16.
        self.unit = 16 if kind in (0, 4) else 8

    def encrypt(self, buffer):
        """Encrypts the writable `buffer` in place; returns the number of bytes transformed
        (its length rounded down to whole units; an AES key refuses a length that is an odd
        multiple of 8)."""
        return self._key.encrypt(buffer)

    def decrypt(self, buffer):
        """Decrypts the writable `buffer` in place; returns the number of bytes transformed."""
        return self._key.decrypt(buffer)


def make_password(password):
    """The digest password of an 8-bit password (bytes): 40 uppercase hexadecimal digits."""
    return _ydr.ven_make_password(bytes(password))
