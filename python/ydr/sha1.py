"""SHA-1 with hashlib's interface: ``ydr.sha1.new(data)`` or ``ydr.sha1.sha1(data)``."""

from . import _ydr

__all__ = ["sha1", "new"]


class sha1:  # noqa: N801 -- hashlib's spelling
    """A SHA-1 computation: update() any number of times, digest() or hexdigest() at any point."""

    name = "sha1"
    digest_size = 20
    block_size = 64

    def __init__(self, data=b"", *, _state=None):
        self._state = _state if _state is not None else _ydr.Sha1()
        if data:
            self._state.update(data)

    def update(self, data):
        """Feeds bytes-like `data` (the GIL is released for large inputs)."""
        self._state.update(data)

    def digest(self):
        """The 20-byte digest of everything fed so far; the computation may go on."""
        return self._state.digest()

    def hexdigest(self):
        return self._state.digest().hex()

    def copy(self):
        """An independent computation that starts where this one stands."""
        return sha1(_state=self._state.copy())


def new(data=b""):
    """hashlib.new('sha1', data) for this library's SHA-1."""
    return sha1(data)
