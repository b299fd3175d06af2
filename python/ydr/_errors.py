"""The package's exceptions: everything the library reports derives from ydr.Error."""


class Error(Exception):
    """Base class of every error the ydr package raises for a library failure."""


class DataError(Error, ValueError):
    """Compressed data, an archive member or a trailer is damaged: nothing wrong is returned."""


class TruncatedError(DataError, EOFError):
    """The compressed data ends before the stream does (a cut-short file)."""


class ArchiveError(Error):
    """The file is not an archive, or its records cannot be trusted as a whole."""


class ExtractError(ArchiveError):
    """Some members could not be unpacked; the others were.

    ``failures`` lists ``(name, reason)`` for each member that failed, in archive order.
    """

    def __init__(self, message, failures):
        super().__init__(message)
        self.failures = failures


class CipherError(Error, ValueError):
    """A cipher, key or padding problem (a wrong key, damaged ciphertext, a key text that is not a key)."""
