"""zlib reads the streams the library writes, through the reader that docs/formats.md shows.

Runs that document's read_stream block as it stands on streams that `ydr gz -c` writes at
every memory level: the data comes back, a stream followed by another reads the same, and a
damaged trailer is caught.

    check_zlib_reads_stream.py YDR FORMATS_MD
"""
import random
import re
import subprocess
import sys


def main():
    ydr, formats_md = sys.argv[1], sys.argv[2]
    text = open(formats_md, encoding="utf-8").read()
    block = re.search(r"<!-- read_stream:[^>]*-->\s*```python\n(.*?)```", text, re.S)
    if block is None:
        sys.exit(f"{formats_md}: no read_stream block")
    scope = {}
    exec(block.group(1), scope)  # the document's own code, run as a reader would paste it
    rng = random.Random(7)
    far = rng.randbytes(20000)
    inputs = {
        "empty": b"",
        "text": b" ".join(rng.choice([b"alpha", b"beta", b"gamma", b"delta"]) for _ in range(50000)),
        "far matches": far * 3,  # repeats 20000 bytes back: only level 2 reaches them
        "large": far * 160,  # 3.2 MB: written on several threads
    }
    failures = 0
    for name, data in inputs.items():
        for level in (0, 1, 2):
            run = subprocess.run([ydr, "gz", "-c", "--level", str(level)], input=data, capture_output=True, check=True)
            stream = run.stdout
            damaged = stream[:-8] + bytes([stream[-8] ^ 1]) + stream[-7:]  # the CRC
            for case, given, expected in (("alone", stream, data), ("followed", stream + stream, data),
                                          ("damaged", damaged, ValueError)):
                try:
                    got = scope["read_stream"](given)
                except ValueError as error:
                    got = ValueError if expected is ValueError else error
                if got != expected:
                    print(f"FAIL {name}, level {level}, {case}: {str(got)[:60]}")
                    failures += 1
    if failures:
        sys.exit(1)
    print(f"zlib read {len(inputs) * 3} streams through docs/formats.md's reader")


if __name__ == "__main__":
    main()
