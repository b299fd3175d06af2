"""check_zlib_reads_stream.py YDR FORMATS_MD: zlib reads what `ydr gz -c` writes at every level, through
docs/formats.md's read_stream block as it stands: the data come back, alone or followed by another stream,
and a damaged CRC is caught."""
import random
import re
import subprocess
import sys

ydr, formats_md = sys.argv[1], sys.argv[2]
block = re.search(r"<!-- read_stream:[^>]*-->\s*```python\n(.*?)```", open(formats_md, encoding="utf-8").read(), re.S)
if block is None:
    sys.exit(f"{formats_md}: no read_stream block")
scope = {}
exec(block.group(1), scope)  # the document's own code, run as a reader would paste it
failures = 0
for data in (b"", random.Random(7).randbytes(20000) * 160):  # the large one: many blocks, the window sliding
    for level in (0, 1, 2):
        stream = subprocess.run([ydr, "gz", "-c", "--level", str(level)], input=data, capture_output=True,
                                check=True).stdout
        damaged = stream[:-8] + bytes([stream[-8] ^ 1]) + stream[-7:]
        for case, given, expected in (("alone", stream, data), ("followed", stream + stream, data),
                                      ("damaged", damaged, ValueError)):
            try:
                got = scope["read_stream"](given)
            except ValueError as error:
                got = ValueError if expected is ValueError else error
            if got != expected:
                print(f"FAIL {len(data)} bytes, level {level}, {case}: {str(got)[:60]}")
                failures += 1
sys.exit(1 if failures else 0)
