"""ydr.gz's binding: its streams read by zlib, streams and damaged data read by decompress()
and open(), every kind of buffer and file, threads, and the reader's memory."""

import io
import os
import random
import subprocess
import sys
import zlib
from concurrent.futures import ThreadPoolExecutor

import numpy
import pytest

import ydr
import ydr.gz
from conftest import zlib_stream

RNG = random.Random(1234)
TEXT = b" ".join(RNG.choice([b"stream", b"archive", b"member", b"window", b"trailer"]) for _ in range(60000))
NOISE = RNG.randbytes(300000)


def test_levels_and_checksums_reach_the_library(ydr_command):
    data = TEXT[:20000] + NOISE[:20000] * 3  # each level's window gives other bytes
    for level in (0, 1, 2):  # the command's stream, which zlib reads (peer.zlib_reads_documented_stream)
        command = subprocess.run([ydr_command, "gz", "-c", "--level", str(level)], input=data, capture_output=True)
        assert ydr.gz.compress(data, level) == command.stdout
    for level in (-1, 3):
        with pytest.raises(ValueError):
            ydr.gz.compress(b"x", level)
    for data in (b"", TEXT[:100], NOISE):  # short inputs keep the GIL, long ones release it
        cut = len(data) // 3
        assert ydr.gz.crc32(data[cut:], ydr.gz.crc32(data[:cut])) == zlib.crc32(data)
    assert ydr.gz.crc32(b"abc", 0x1_2345_6789) == zlib.crc32(b"abc", 0x2345_6789)


GOOD = ydr.gz.compress(TEXT)
PARTS = [TEXT[:1000], b"", NOISE, TEXT]
MISMATCH = "DataError: the CRC-32 or length in the stream's trailer does not match the data"
DAMAGED = "DataError: the compressed data is damaged"
CUT = "TruncatedError: the compressed data ends before the stream does (cut short, or damaged near its end)"
STREAMS = {  # case: (stream, its bytes or its error)
    "empty": (ydr.gz.compress(b""), b""),
    "concatenated": (b"".join(ydr.gz.compress(p, i % 3) for i, p in enumerate(PARTS)) + zlib_stream(b"zlib's"),
                     b"".join(PARTS) + b"zlib's"),
    "crc": (GOOD[:-6] + bytes([GOOD[-6] ^ 1]) + GOOD[-5:], MISMATCH),
    "block-type-3": (b"\x07" + GOOD[1:], DAMAGED),
    "cut-in-body": (GOOD[:len(GOOD) // 2], CUT),
    "cut-in-trailer": (GOOD[:-3], MISMATCH),
    "nothing": (b"", CUT),
    "garbage-after": (GOOD + b"\x07garbage", CUT),
    "second-cut": (GOOD + GOOD[:-1], MISMATCH),
}


@pytest.mark.parametrize("case", sorted(STREAMS))
def test_decompress_and_open_give_a_streams_bytes_or_its_own_error(case):
    stream, expected = STREAMS[case]
    outcomes = []
    for whole in (True, False):  # open()'s reader 64 KiB a read: whatever came before, the end raises
        try:
            if whole:
                outcomes.append(ydr.gz.decompress(stream))
            else:
                with ydr.gz.open(io.BytesIO(stream)) as f:
                    outcomes.append(b"".join(iter(lambda: f.read(65536), b"")))
        except ydr.DataError as error:
            outcomes.append(f"{type(error).__name__}: {error}")
    assert outcomes == [expected, expected]


def test_buffers_of_any_shape_are_taken():
    data = TEXT[:40000]
    # One dimension of bytes, and two of two-byte items, each taken through one view: compress() for
    # reading, readinto() for writing.
    for wrap in (bytearray, lambda b: numpy.frombuffer(b, dtype=numpy.uint16).reshape(100, -1)):
        assert ydr.gz.compress(wrap(data)) == ydr.gz.compress(data)
        target = wrap(bytearray(len(data)))
        with ydr.gz.open(io.BytesIO(ydr.gz.compress(data))) as f:
            assert f.readinto(target) == len(data)
        assert memoryview(target).tobytes() == data
    with pytest.raises((TypeError, BufferError, ValueError)):
        ydr.gz.compress(numpy.arange(100, dtype=numpy.uint8)[::2])


@pytest.mark.parametrize("how", ["path", "fd", "file-object"])
def test_open_reads_and_writes_every_kind_of_file(tmp_path, how):
    # Written a line at a time at level 2, the file holds compress()'s bytes.
    data = TEXT[:200000].replace(b"member ", b"member\n") + b"\nlast line without end"
    lines = data.splitlines(keepends=True)
    path = tmp_path / "f.gz"

    def pick(handle):  # the handle stays open until ydr.gz's file is closed
        return {"path": path, "fd": handle.fileno(), "file-object": handle}[how]

    with open(path, "wb") as handle, ydr.gz.open(pick(handle), "wb", level=2) as f:
        for line in lines:
            f.write(line)
    assert path.read_bytes() == ydr.gz.compress(data, 2)
    with open(path, "rb") as handle, ydr.gz.open(pick(handle)) as f:
        assert f.readline() == lines[0]
        assert list(f) == lines[1:]
        assert f.read() == b""


def test_text_and_append_modes_and_a_file_objects_errors(tmp_path):
    path = tmp_path / "t.gz"
    with ydr.gz.open(path, "wt", encoding="utf-8") as f:
        f.write("première ligne\n")
    with ydr.gz.open(path, "ab") as f:
        f.write("deuxième\n".encode())
    with ydr.gz.open(path, "rt", encoding="utf-8") as f:
        assert f.read() == "première ligne\ndeuxième\n"
    with pytest.raises(FileExistsError):
        ydr.gz.open(path, "xb")

    class Failing(io.RawIOBase):
        def readable(self):
            return True

        def readinto(self, buffer):
            raise OSError("the disk is gone")

    with pytest.raises(OSError, match="the disk is gone"):
        ydr.gz.open(Failing()).read()


def test_threads_at_once_get_their_own_bytes_and_a_stream_read_from_a_pipe_lets_go_of_the_gil():
    inputs = [TEXT, NOISE, TEXT[::-1], NOISE[:1000]] * 5
    levels = [i % 3 for i in range(len(inputs))]
    streams = [ydr.gz.compress(data, level) for data, level in zip(inputs, levels)]
    read_end, write_end = os.pipe()
    with ThreadPoolExecutor(4) as pool:
        assert list(pool.map(ydr.gz.decompress, streams)) == inputs
        assert list(pool.map(ydr.gz.compress, inputs, levels)) == streams
        # The reader needs the whole stream, many times what a pipe holds, in one call; this
        # thread feeds the pipe a piece at a time and needs the GIL between pieces.
        stream = ydr.gz.compress(NOISE * 4)
        reading = pool.submit(lambda: ydr.gz.open(read_end).read())
        view = memoryview(stream)
        while view:
            view = view[os.write(write_end, view[:65536]):]
        os.close(write_end)
        assert reading.result() == NOISE * 4
    os.close(read_end)


def test_reading_a_large_stream_keeps_memory_bounded(tmp_path):
    # 512 MiB decoded from a file in 1 MiB reads, in a process of its own: its peak memory
    # stays far below what the stream holds.
    path = tmp_path / "zeros.gz"
    with ydr.gz.open(path, "wb") as f:
        for _ in range(512):
            f.write(bytes(1 << 20))
    script = (
        "import resource, sys, ydr.gz\n"
        "before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss\n"
        "with ydr.gz.open(sys.argv[1]) as f:\n"
        "    total = sum(map(len, iter(lambda: f.read(1 << 20), b'')))\n"
        "print(total, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)\n"
    )
    result = subprocess.run([sys.executable, "-c", script, str(path)], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    total, grown_kib = map(int, result.stdout.split())
    assert total == 512 << 20
    assert grown_kib < 64 * 1024
