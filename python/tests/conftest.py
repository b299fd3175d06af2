"""Archives and streams built byte by byte with zlib (a peer no one here wrote), and the command."""

import os
import pathlib
import shutil
import struct
import zlib

import pytest


def zlib_stream(data, level=6, wbits=12):
    """A stream as the format defines it, made by zlib: raw deflate, CRC-32, length."""
    packer = zlib.compressobj(level, zlib.DEFLATED, -wbits)
    return packer.compress(data) + packer.flush() + struct.pack("<II", zlib.crc32(data), len(data))


def build_archive(members):
    """An archive of (name, flag, content) or (name, flag, None, stream): flag 1 members get
    zlib's stream of their content unless a stream is given."""
    out = bytearray(b"YdrZip 1.0\r\n\x1a" + bytes(35))
    struct.pack_into("<IB", out, 32, len(members), 1)
    out += bytes(32 * len(members))
    for i, (name, flag, *_) in enumerate(members):
        struct.pack_into("<B11xIH", out, 48 + 32 * i, flag, len(out), len(name.encode("utf-16-le")) // 2)
        out += name.encode("utf-16-le") + b"\0\0"
    for i, (_, flag, content, *stream) in enumerate(members):
        if flag == 1:
            stream = stream[0] if stream else zlib_stream(content)
            struct.pack_into("<II", out, 48 + 32 * i + 4, len(out), len(stream))
            out += stream
    return bytes(out)


@pytest.fixture(scope="session")
def ydr_command():
    path = os.environ.get("YDR_COMMAND") or shutil.which("ydr")
    if not path or not os.path.exists(path):
        pytest.skip("the ydr command is not built here (set YDR_COMMAND)")
    return os.path.abspath(path)


def tree(root):
    """Every path below `root`, relative, '/' between folders; links listed, not followed."""
    return sorted(path.relative_to(root).as_posix() for path in pathlib.Path(root).rglob("*"))
