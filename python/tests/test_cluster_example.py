"""The cluster example (examples/archive_table.py) on a local cluster of two worker processes,
against a table made here with zlib and hashlib."""

import csv
import hashlib
import os
import subprocess
import sys

import pytest

from conftest import build_archive, zlib_stream

pytest.importorskip("distributed")
EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "archive_table.py")


def test_every_member_of_every_archive_is_in_one_table(tmp_path):
    folder = tmp_path / "archives"
    folder.mkdir()
    expected = []
    for a in range(4):
        members = [(f"d{a}\\", 3, None)]
        for m in range(3):
            content = os.urandom(1000 * (a + 1) * m)
            members.append((f"d{a}\\m{m}.bin", 1, content))
            expected.append([str(folder / f"a{a}.ydz"), f"d{a}/m{m}.bin", str(len(content)),
                             hashlib.sha1(content).hexdigest(), "True", ""])
        if a == 3:  # a damaged member (its trailer zeroed): named, not summed
            members.append(("bad.txt", 1, None, zlib_stream(b"damaged " * 100)[:-8] + bytes(8)))
        (folder / f"a{a}.ydz").write_bytes(build_archive(members))
    (folder / "notes.txt").write_bytes(b"not an archive")
    output = tmp_path / "table.csv"
    result = subprocess.run([sys.executable, EXAMPLE, str(folder), "--output", str(output), "--workers", "2"],
                            capture_output=True, text=True, timeout=180)
    assert result.returncode == 1, result.stderr  # the damaged member and the stray file fail
    rows = list(csv.reader(output.open()))
    assert rows[0] == ["archive", "member", "size", "sha1", "ok", "error"]
    assert [row for row in rows[1:] if row[4] == "True"] == expected
    failed = {(os.path.basename(row[0]), row[1]): row[5] for row in rows[1:] if row[4] != "True"}
    assert set(failed) == {("a3.ydz", "bad.txt"), ("notes.txt", "")}
    assert "CRC-32" in failed[("a3.ydz", "bad.txt")] and "not an archive" in failed[("notes.txt", "")]
