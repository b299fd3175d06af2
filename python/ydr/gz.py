"""The library's streams: raw deflate data followed by an 8-byte trailer (the CRC-32 and the
length of the uncompressed data, least significant byte first).

The interface follows ``zlib``/``gzip``: ``compress``, ``decompress``, ``crc32`` and ``open``.
``level`` is the library's memory level (0, 1 or 2); the stream is fixed to the byte for a
given level, whoever writes it and however the data is split into writes. A stream written
at any level is read at any level here.

Corrupt data, a stream cut short and a trailer that does not match raise ``ydr.DataError``
(``ydr.TruncatedError`` for a cut inside the compressed data) -- never wrong bytes.
"""

import builtins
import io
import os

from . import _ydr
from ._errors import DataError, Error, TruncatedError

__all__ = ["compress", "decompress", "crc32", "open", "GzFile", "DataError", "TruncatedError", "Error"]

# The read buffer of GzFile, and the most of one write compressed before its output goes
# to the file (large enough for the library's writer to share it among threads).
READ_BUFFER_SIZE = 128 * 1024
WRITE_PIECE_SIZE = 16 << 20


def compress(data, level=0):
    """The stream of `data` (any bytes-like object) at memory `level` (0, 1 or 2)."""
    return _ydr.gz_compress(data, level)


def decompress(data):
    """The bytes of every stream in `data`, one after another (streams may be concatenated).

    Raises DataError when a stream is damaged or its trailer does not match, TruncatedError
    when the data end inside a stream's compressed data (or hold nothing), and DataError for
    trailing bytes that are not a stream. A stream whose compressed data are whole but whose
    8-byte trailer is cut or missing fails the trailer check: DataError.
    """
    return _ydr.gz_decompress(data)


def crc32(data, value=0):
    """The CRC-32 of `data`, continuing from `value` (the CRC of what came before), as zlib.crc32."""
    return _ydr.gz_crc32(data, value & 0xFFFFFFFF)


class _RawStream(io.RawIOBase):
    """The decoder as an unbuffered reader, for io.BufferedReader."""

    def __init__(self, reader):
        super().__init__()
        self._reader = reader

    def readable(self):
        return True

    def readinto(self, buffer):
        return self._reader.readinto(buffer)

    def readall(self):
        return self._reader.read(-1)

    def close(self):
        if not self.closed:
            self._reader.close()
        super().close()


class GzFile(io.BufferedIOBase):
    """A stream file opened for reading or writing (see ``open``).

    Reading decodes every stream in the file in turn; writing makes one stream, ended (its
    trailer written) by ``close``. Memory stays bounded whatever the file's size: the reader
    holds one window and one read buffer, the writer one piece of output per write.
    """

    def __init__(self, file, mode="rb", level=0):
        super().__init__()
        mode = mode.replace("b", "")
        if mode not in ("r", "w", "x", "a"):
            raise ValueError(f"invalid mode: {mode!r}")
        self._own = None  # the file object this one opened, and closes
        self._fd = None
        self._file = None
        self._reading = mode == "r"
        if isinstance(file, (str, bytes, os.PathLike)):
            self._own = builtins.open(file, mode + "b", buffering=0 if self._reading else -1)
            self._file = self._own
            self.name = os.fsdecode(file)
        elif isinstance(file, int):
            self._fd = file
            self.name = file
        elif hasattr(file, "read" if self._reading else "write"):
            self._file = file
            self.name = getattr(file, "name", "")
        else:
            raise TypeError("file must be a path, a descriptor or a file object")
        self.mode = "rb" if self._reading else "wb"
        if self._reading:
            if self._fd is not None:
                reader = _ydr.GzReader.from_fd(self._fd)
            elif self._own is not None:
                reader = _ydr.GzReader.from_fd(self._own.fileno())
            else:
                reader = _ydr.GzReader.from_file(self._file)
            self._buffer = io.BufferedReader(_RawStream(reader), READ_BUFFER_SIZE)
        else:
            self._writer = _ydr.GzWriter(level)

    # -- reading --
    def readable(self):
        return self._reading

    def _check_reading(self):
        if self.closed:
            raise ValueError("I/O operation on closed file")
        if not self._reading:
            raise io.UnsupportedOperation("not open for reading")

    def read(self, size=-1):
        self._check_reading()
        return self._buffer.read(-1 if size is None else size)

    def read1(self, size=-1):
        self._check_reading()
        return self._buffer.read1(size)

    def readinto(self, buffer):
        self._check_reading()
        return self._buffer.readinto(buffer)

    def readinto1(self, buffer):
        self._check_reading()
        return self._buffer.readinto1(buffer)

    def peek(self, size=0):
        self._check_reading()
        return self._buffer.peek(size)

    def readline(self, size=-1):
        self._check_reading()
        return self._buffer.readline(size)

    def __iter__(self):
        self._check_reading()
        return self

    def __next__(self):
        line = self.readline()
        if not line:
            raise StopIteration
        return line

    # -- writing --
    def writable(self):
        return not self._reading

    def write(self, data):
        if self.closed:
            raise ValueError("I/O operation on closed file")
        if self._reading:
            raise io.UnsupportedOperation("not open for writing")
        view = memoryview(data).cast("B")
        # Large writes go in pieces, each piece's output to the file before the next, so
        # memory stays bounded; the stream is the same however it is split.
        for at in range(0, len(view), WRITE_PIECE_SIZE):
            self._writer.write(view[at:at + WRITE_PIECE_SIZE])
            self._emit(self._writer.take())
        return len(view)

    def _emit(self, out):
        if not out:
            return
        if self._fd is not None:
            view = memoryview(out)
            while view:
                view = view[os.write(self._fd, view):]
        else:
            self._file.write(out)

    def flush(self):
        # The stream's bytes are handed to the file as they are made; a stream cannot be
        # flushed in the middle without changing its bytes.
        if not self._reading and self._file is not None and not self.closed:
            self._file.flush()

    def close(self):
        if self.closed:
            return
        try:
            if self._reading:
                self._buffer.close()
            else:
                self._emit(self._writer.close())
                if self._file is not None:
                    self._file.flush()
        finally:
            try:
                if self._own is not None:
                    self._own.close()
                    self._file = None
            finally:
                super().close()

    def fileno(self):
        if self._fd is not None:
            return self._fd
        return self._file.fileno()

    def seekable(self):
        return False


def open(file, mode="rb", level=0, encoding=None, errors=None, newline=None):
    """Opens a stream file: a path, a descriptor (left open) or a file object (left open).

    Modes: 'rb' (the default; every stream in the file), 'wb', 'xb', 'ab' (a new stream
    after those in the file), and the text modes 'rt', 'wt', 'xt', 'at' with `encoding`,
    `errors` and `newline` as for io.TextIOWrapper. `level` is the memory level for writing.
    """
    if "t" in mode:
        if "b" in mode:
            raise ValueError(f"invalid mode: {mode!r}")
        binary = GzFile(file, mode.replace("t", ""), level)
        return io.TextIOWrapper(binary, encoding, errors, newline)
    if encoding is not None or errors is not None or newline is not None:
        raise ValueError("encoding, errors and newline are for the text modes")
    return GzFile(file, mode, level)
