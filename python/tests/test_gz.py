"""ydr.gz against zlib (raw deflate with the 8-byte trailer) in both directions, on split
writes, concatenated streams, damaged and cut data, every kind of buffer, and file objects."""

import array
import io
import os
import subprocess
import sys
import threading
import zlib

import numpy
import pytest

import ydr
import ydr.gz
from conftest import corpus, zlib_stream, zlib_unstream

CORPUS = corpus()
LEVELS = [0, 1, 2]


@pytest.mark.parametrize("level", LEVELS)
@pytest.mark.parametrize("kind", sorted(CORPUS))
def test_streams_round_trip_and_zlib_reads_them(kind, level):
    data = CORPUS[kind]
    stream = ydr.gz.compress(data, level)
    assert ydr.gz.decompress(stream) == data
    assert zlib_unstream(stream) == (data, b"")


@pytest.mark.parametrize("wbits", [9, 12, 15])
@pytest.mark.parametrize("kind", sorted(CORPUS))
def test_zlibs_streams_are_read(kind, wbits):
    data = CORPUS[kind]
    assert ydr.gz.decompress(zlib_stream(data, 9, wbits)) == data


def test_a_stream_is_the_same_however_it_is_written(tmp_path):
    # The stream is fixed to the byte: GzFile's writes of any sizes give compress()'s bytes.
    data = CORPUS["records"] + CORPUS["noise"][:50000]
    for level in LEVELS:
        expected = ydr.gz.compress(data, level)
        for piece in (1, 7, 4096, 65537, len(data)):
            out = io.BytesIO()
            with ydr.gz.open(out, "wb", level=level) as f:
                for at in range(0, len(data), piece):
                    f.write(data[at:at + piece])
            assert out.getvalue() == expected, (level, piece)


def test_concatenated_streams_are_read_one_after_another():
    parts = [CORPUS["text"][:1000], b"", CORPUS["noise"][:5000], CORPUS["runs"]]
    joined = b"".join(ydr.gz.compress(p, i % 3) for i, p in enumerate(parts)) + zlib_stream(b"zlib's")
    assert ydr.gz.decompress(joined) == b"".join(parts) + b"zlib's"
    with ydr.gz.open(io.BytesIO(joined)) as f:
        assert f.read() == b"".join(parts) + b"zlib's"


def damaged_cases():
    data = CORPUS["text"]
    good = ydr.gz.compress(data)
    flipped_crc = bytearray(good)
    flipped_crc[-6] ^= 1
    wrong_length = good[:-4] + (len(data) + 1).to_bytes(4, "little")
    corrupt = bytearray(good)
    corrupt[len(good) // 3] ^= 0xFF
    return {
        "crc": (bytes(flipped_crc), ydr.DataError),
        "length": (wrong_length, ydr.DataError),
        "body": (bytes(corrupt), ydr.DataError),
        "block-type-3": (b"\x07" + good[1:], ydr.DataError),
        "cut-in-body": (good[: len(good) // 2], ydr.TruncatedError),
        "cut-in-trailer": (good[:-3], ydr.DataError),
        "no-trailer": (good[:-8], ydr.DataError),
        "empty": (b"", ydr.TruncatedError),
        "garbage-after": (good + b"\x07garbage", ydr.DataError),
        "second-cut": (good + good[:-1], ydr.DataError),
    }


@pytest.mark.parametrize("case", sorted(damaged_cases()))
def test_damaged_or_cut_data_raises_and_never_returns_bytes(case):
    stream, error = damaged_cases()[case]
    with pytest.raises(error):
        ydr.gz.decompress(stream)
    # Streaming: whatever was handed out before, the end raises.
    with pytest.raises(error):
        with ydr.gz.open(io.BytesIO(stream)) as f:
            while f.read(65536):
                pass


def test_crc32_matches_zlib_in_pieces():
    for data in CORPUS.values():
        assert ydr.gz.crc32(data) == zlib.crc32(data)
        cut = len(data) // 3
        assert ydr.gz.crc32(data[cut:], ydr.gz.crc32(data[:cut])) == zlib.crc32(data)
    assert ydr.gz.crc32(b"abc", 0x1_2345_6789) == zlib.crc32(b"abc", 0x2345_6789)


@pytest.mark.parametrize("wrap", [bytes, bytearray, memoryview, lambda b: array.array("B", b),
                                  lambda b: numpy.frombuffer(b, dtype=numpy.uint8),
                                  lambda b: numpy.frombuffer(b, dtype=numpy.uint16).reshape(100, -1)])
def test_every_buffer_kind_is_taken(wrap):
    data = CORPUS["records"][:40000]
    stream = ydr.gz.compress(wrap(data))
    assert stream == ydr.gz.compress(data)
    # (a stream's length seldom suits a 2-D array: it goes in as bytes of one dimension)
    assert ydr.gz.decompress(wrap(stream) if len(stream) % 200 == 0 else numpy.frombuffer(stream, numpy.uint8)) == data
    assert ydr.gz.crc32(wrap(data)) == zlib.crc32(data)
    target = bytearray(len(data))
    with ydr.gz.open(io.BytesIO(stream)) as f:
        assert f.readinto(wrap(target) if wrap is not bytes else target) == len(data)


def test_non_contiguous_buffers_are_refused():
    with pytest.raises((TypeError, BufferError, ValueError)):
        ydr.gz.compress(numpy.arange(100, dtype=numpy.uint8)[::2])


@pytest.mark.parametrize("how", ["path", "fd", "raw-file", "buffered-file", "bytesio"])
def test_open_reads_and_writes_every_kind_of_file(tmp_path, how):
    data = CORPUS["text"][:200000] + b"\nlast line without end"
    path = tmp_path / "f.gz"

    def target(mode):
        if how == "path":
            return str(path), None
        if how == "fd":
            fd = os.open(path, os.O_RDONLY if mode == "rb" else os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
            return fd, lambda: os.close(fd)
        if how == "bytesio":
            return (io.BytesIO(path.read_bytes()) if mode == "rb" else holder), None
        f = open(path, mode, buffering=0 if how == "raw-file" else -1)
        return f, f.close

    holder = io.BytesIO()
    file, done = target("wb")
    with ydr.gz.open(file, "wb") as out:
        for line in data.splitlines(keepends=True):
            out.write(line)
    if how == "bytesio":
        path.write_bytes(holder.getvalue())
    if done:
        done()
    assert path.read_bytes() == ydr.gz.compress(data)

    file, done = target("rb")
    with ydr.gz.open(file) as f:
        assert f.readline() == data.splitlines(keepends=True)[0]
        assert list(f) == data.splitlines(keepends=True)[1:]
        assert f.read() == b""
    if done:
        done()


def test_text_and_append_modes(tmp_path):
    path = tmp_path / "t.gz"
    with ydr.gz.open(path, "wt", encoding="utf-8") as f:
        f.write("première ligne\n")
    with ydr.gz.open(path, "ab") as f:
        f.write("deuxième\n".encode())
    with ydr.gz.open(path, "rt", encoding="utf-8") as f:
        assert f.read() == "première ligne\ndeuxième\n"
    with pytest.raises(FileExistsError):
        ydr.gz.open(path, "xb")


def test_a_python_file_objects_errors_come_through():
    class Failing(io.RawIOBase):
        def readable(self):
            return True

        def readinto(self, buffer):
            raise OSError("the disk is gone")

    with pytest.raises(OSError, match="the disk is gone"):
        ydr.gz.open(Failing()).read()


def test_threads_decompressing_at_once_get_their_own_bytes():
    inputs = [CORPUS["text"], CORPUS["records"], CORPUS["noise"], CORPUS["runs"]]
    streams = [ydr.gz.compress(d, i % 3) for i, d in enumerate(inputs)]
    results = {}

    def work(i):
        for _ in range(5):
            assert ydr.gz.decompress(streams[i]) == inputs[i]
            assert ydr.gz.compress(inputs[i], i % 3) == streams[i]
        results[i] = True

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(inputs))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(results) == len(inputs)


def test_levels_outside_the_memory_levels_are_refused():
    for level in (-1, 3, 9):
        with pytest.raises(ValueError):
            ydr.gz.compress(b"x", level)


def test_the_gil_is_released_while_a_stream_is_read():
    # The reader decodes a stream from a pipe in one call, which needs the whole stream; this
    # thread feeds the pipe a piece at a time, and needs the GIL between pieces. Were the GIL
    # held through the reader's call, neither could go on.
    data = CORPUS["noise"] * 4
    stream = ydr.gz.compress(data)
    assert len(stream) > 16 * 65536  # many times what a pipe holds
    read_end, write_end = os.pipe()
    result = {}
    reader = threading.Thread(target=lambda: result.update(data=ydr.gz.open(read_end).read()))
    reader.start()
    view = memoryview(stream)
    while view:
        view = view[os.write(write_end, view[:65536]):]
    os.close(write_end)
    reader.join(60)
    os.close(read_end)
    assert result.get("data") == data


def test_reading_a_large_stream_keeps_memory_bounded(tmp_path):
    # 512 MiB decoded from a file in 1 MiB reads, in a process of its own: its peak memory
    # stays far below what the stream holds.
    path = tmp_path / "zeros.gz"
    with ydr.gz.open(path, "wb") as f:
        piece = bytes(1 << 20)
        for _ in range(512):
            f.write(piece)
    script = (
        "import resource, sys, ydr.gz\n"
        "before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss\n"
        "total = 0\n"
        "with ydr.gz.open(sys.argv[1]) as f:\n"
        "    while piece := f.read(1 << 20):\n"
        "        total += len(piece)\n"
        "print(total, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)\n"
    )
    result = subprocess.run([sys.executable, "-c", script, str(path)], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    total, grown_kib = map(int, result.stdout.split())
    assert total == 512 << 20
    assert grown_kib < 64 * 1024
