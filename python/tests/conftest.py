"""Shared helpers: archives and streams built byte by byte with zlib (a peer no one here
wrote), a reader of the archive format written from its description, and the command."""

import os
import shutil
import struct
import subprocess
import zlib

import pytest


def zlib_stream(data, level=6, wbits=12):
    """A stream as the format defines it, made by zlib: raw deflate, CRC-32, length."""
    packer = zlib.compressobj(level, zlib.DEFLATED, -wbits)
    body = packer.compress(data) + packer.flush()
    return body + struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF)


def zlib_unstream(stream):
    """The bytes of one stream, read by zlib, with its trailer checked; and what follows it."""
    unpacker = zlib.decompressobj(-15)
    data = unpacker.decompress(stream)
    assert unpacker.eof, "zlib: the deflate data does not end"
    trailer, rest = unpacker.unused_data[:8], unpacker.unused_data[8:]
    assert trailer == struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF)
    return data, rest


def build_archive(members):
    """An archive: `members` is a list of (name, flag, content) or (name, flag, None, stream).
    Names are text (stored as UTF-16); flag 1 members get zlib's stream of their content
    unless a stream is given."""
    count = len(members)
    out = bytearray(b"YdrZip 1.0\r\n\x1a" + bytes(19) + bytes(16))
    struct.pack_into("<I", out, 32, count)
    out[36] = 1
    out += bytes(32 * count)
    for i, member in enumerate(members):
        name = member[0].encode("utf-16-le")
        record = 48 + 32 * i
        out[record] = member[1]
        struct.pack_into("<I", out, record + 12, len(out))
        struct.pack_into("<H", out, record + 16, len(name) // 2)
        out += name + b"\0\0"
    for i, member in enumerate(members):
        if member[1] != 1:
            continue
        stream = member[3] if len(member) > 3 else zlib_stream(member[2])
        struct.pack_into("<II", out, 48 + 32 * i + 4, len(out), len(stream))
        out += stream
    return bytes(out)


def read_archive(data):
    """[(name, flag, content or None)] of an archive, read by the format's description and zlib."""
    assert data[:13] == b"YdrZip 1.0\r\n\x1a"
    (count,) = struct.unpack_from("<I", data, 32)
    members = []
    for i in range(count):
        flag, offset, length, name_offset, name_units = struct.unpack_from("<B3xIIIh", data, 48 + 32 * i)
        name = data[name_offset:name_offset + 2 * name_units].decode("utf-16-le")
        content = None
        if flag == 1:
            content, rest = zlib_unstream(data[offset:offset + length]) if length != 12 or data[offset:offset + 4] != b"\x03\x00\x03\x00" else (b"", b"")
            assert rest == b""
        members.append((name, flag, content))
    return members


@pytest.fixture(scope="session")
def ydr_command():
    """The ydr command built beside the package, for cross-checks."""
    path = os.environ.get("YDR_COMMAND") or shutil.which("ydr")
    if not path or not os.path.exists(path):
        pytest.skip("the ydr command is not built here (set YDR_COMMAND)")
    return os.path.abspath(path)


def run_command(command, *args, cwd=None):
    return subprocess.run([command, *map(str, args)], cwd=cwd, capture_output=True, text=True, timeout=120)


def tree(root):
    """Every path below `root`, relative, '/' between folders; links listed, not followed."""
    found = []
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            found.append(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"))
    return sorted(found)


def corpus():
    """Inputs of the kinds the library meets: text, repetitive records, random bytes, runs."""
    import random

    rng = random.Random(1234)
    words = [b"stream", b"archive", b"member", b"folder", b"window", b"block", b"trailer", b"length"]
    text = b" ".join(rng.choice(words) for _ in range(60000))
    records = b"".join(b"%08d,%s,%d\n" % (i, rng.choice(words), i * 7 % 1000) for i in range(20000))
    noise = rng.randbytes(300000)
    runs = bytes(100000) + b"\xff" * 70000 + bytes(range(256)) * 300
    return {"empty": b"", "one": b"x", "text": text, "records": records, "noise": noise, "runs": runs}
