"""zlib reads the streams the library writes, through the reader that docs/formats.md shows.

Runs that document's read_stream block as it stands on streams that `ydr gz -c` writes at
every memory level: the data comes back, the trailer matches, the bytes after a stream are
the next stream, and a damaged trailer is caught.

    check_zlib_reads_stream.py YDR FORMATS_MD
"""
import random
import re
import subprocess
import sys


def load_reader(formats_md):
    text = open(formats_md, encoding="utf-8").read()
    block = re.search(r"<!-- read_stream:[^>]*-->\s*```python\n(.*?)```", text, re.S)
    if block is None:
        sys.exit(f"{formats_md}: no read_stream block")
    scope = {}
    exec(block.group(1), scope)  # the document's own code, run as a reader would paste it
    return scope["read_stream"]


def compress(ydr, data, level):
    return subprocess.run([ydr, "gz", "-c", "--level", str(level)], input=data, stdout=subprocess.PIPE,
                          check=True).stdout


def main():
    ydr, formats_md = sys.argv[1], sys.argv[2]
    read_stream = load_reader(formats_md)
    rng = random.Random(7)
    far = bytes(rng.getrandbits(8) for _ in range(20000))
    inputs = {
        "empty": b"",
        "short": b"hello, hello, hello\n",
        "text": b" ".join(rng.choice([b"alpha", b"beta", b"gamma", b"delta"]) for _ in range(50000)),
        "noise": bytes(rng.getrandbits(8) for _ in range(70000)),
        "far matches": far + far + far,  # repeats 20000 bytes back: only level 2 reaches them
        "large": far * 160,  # 3.2 MB: written on several threads
    }
    failures = 0
    for name, data in inputs.items():
        for level in (0, 1, 2):
            where = f"{name}, level {level}"
            stream = compress(ydr, data, level)
            try:
                if read_stream(stream) != data:
                    raise ValueError("the data differs")
                # Two streams in a row: the first read leaves the second whole.
                if read_stream(stream + stream) != data:
                    raise ValueError("a stream followed by another reads differently")
            except ValueError as error:
                print(f"FAIL {where}: {error}")
                failures += 1
                continue
            damaged = bytearray(stream)
            damaged[-8] ^= 1  # the CRC
            try:
                read_stream(bytes(damaged))
                print(f"FAIL {where}: a damaged CRC went unnoticed")
                failures += 1
            except ValueError:
                pass
    if failures:
        sys.exit(1)
    print(f"zlib read {len(inputs) * 3} streams through docs/formats.md's reader")


if __name__ == "__main__":
    main()
