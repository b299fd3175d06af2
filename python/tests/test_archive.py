"""ydr.archive against archives built byte by byte with zlib's streams, the command's archives
of the same files, and hostile archives unpacked through extractall."""

import os
import random
import subprocess
import zlib
from concurrent.futures import ThreadPoolExecutor

import pytest

import ydr
from conftest import build_archive, tree, zlib_stream
from ydr.archive import Archive


def write(tmp_path, name, data):
    path = tmp_path / name
    path.write_bytes(data)
    return path


MEMBERS = [("docs\\", 3, None), ("docs\\a.txt", 1, b"alpha " * 1000), ("docs\\empty", 1, b""),
           ("b.bin", 1, bytes(range(256)) * 50), ("gone", 2, None), ("\uc548\ub155.txt", 1, "안녕".encode())]


def test_infolist_reads_names_sizes_and_crcs(tmp_path):
    path = write(tmp_path, "a.ydz", build_archive(MEMBERS))
    with Archive(path) as archive:
        assert archive.namelist() == ["docs/", "docs/a.txt", "docs/empty", "b.bin", "gone", "안녕.txt"]
        for info, (name, flag, content) in zip(archive.infolist(), MEMBERS):
            assert info.flag == flag and info.is_dir() == (flag == 3)
            if flag == 1:
                assert (info.file_size, info.CRC) == (len(content), zlib.crc32(content))
                assert archive.read(info.filename) == content
                with archive.open(info) as member:
                    assert member.read() == content
        with pytest.raises(ydr.DataError, match="never packed"):
            archive.read("gone")
        with pytest.raises(KeyError):
            archive.getinfo("missing")
        assert archive.testzip() == "gone"
        member = archive.open("docs/a.txt")
    assert member.read() == b"alpha " * 1000  # a member's reader outlives its archive


def test_write_tree_on_any_threads_and_writestr_make_the_commands_archive(tmp_path, ydr_command):
    source = tmp_path / "src"
    (source / "d" / "e").mkdir(parents=True)
    for i in range(30):
        (source / "d" / f"f{i:02}.txt").write_bytes(b"line %d\n" % i * (i * 100))
    (source / "d" / "e" / "noise").write_bytes(os.urandom(3 << 20))
    (source / "empty").write_bytes(b"")
    os.symlink("..", source / "d" / "e" / "loop")  # a folder reached again through a link
    os.mkfifo(source / "d" / "pipe")
    subprocess.run([ydr_command, "pack", "cmd.ydz", "src"], cwd=tmp_path, check=True, timeout=120)
    expected = (tmp_path / "cmd.ydz").read_bytes()
    for threads in (1, 5):
        with pytest.warns(UserWarning, match="pipe: left out"):
            with Archive(tmp_path / "tree.ydz", "w") as archive:
                archive.write_tree(source, threads=threads)
        assert (tmp_path / "tree.ydz").read_bytes() == expected, threads
    with Archive(tmp_path / "tree.ydz") as archive:
        names = archive.namelist()
    with Archive(tmp_path / "writestr.ydz", "w") as archive:
        for name in names:
            archive.writestr(name, b"" if name.endswith("/") else (tmp_path / name).read_bytes())
    assert (tmp_path / "writestr.ydz").read_bytes() == expected


def test_nothing_is_written_outside_the_destination_nor_through_what_is_planted_there(tmp_path):
    outside = tmp_path / "outside"
    outside.mkdir()
    (outside / "secret.txt").write_bytes(b"keep me")
    dest = tmp_path / "dest"
    dest.mkdir()
    os.symlink(outside, dest / "linked")
    os.symlink(outside / "secret.txt", dest / "file-link.txt")
    os.mkfifo(dest / "pipe.txt")
    path = write(tmp_path, "a.ydz", build_archive([
        ("linked\\new.txt", 1, b"x"), ("linked\\secret.txt", 1, b"overwritten"), ("file-link.txt", 1, b"overwritten"),
        ("pipe.txt", 1, b"blocked?"), ("linked\\", 3, None), ("fine\\ok.txt", 1, b"fine"),
        ("C:\\w\\h.txt", 1, b"folded"), ("../../../i.txt", 1, b"folded")]))
    with Archive(path) as archive:
        with pytest.raises(ydr.Error, match="exist already"):
            archive.extractall(dest)
        assert not (dest / "fine").exists()
        with pytest.raises(ydr.ExtractError) as raised:
            archive.extractall(dest, overwrite=True)
        assert archive.extract("../../../i.txt", tmp_path / "one") == str(tmp_path / "one" / "i.txt")
    assert sorted(name for name, _ in raised.value.failures) == sorted(
        ["linked/new.txt", "linked/secret.txt", "file-link.txt", "pipe.txt", "linked/"])
    assert (outside / "secret.txt").read_bytes() == b"keep me"
    assert tree(outside) == ["secret.txt"]
    assert os.path.islink(dest / "file-link.txt") and not os.path.isfile(dest / "pipe.txt")
    for name, content in (("fine/ok.txt", b"fine"), ("w/h.txt", b"folded"), ("i.txt", b"folded")):
        assert (dest / name).read_bytes() == content
    # No temporary file is left, and no stored folder is made above the folded names.
    assert tree(dest) == ["file-link.txt", "fine", "fine/ok.txt", "i.txt", "linked", "pipe.txt", "w", "w/h.txt"]


def damaged(stream):
    return build_archive([("before.txt", 1, b"ok"), ("bad", 1, None, stream), ("after.txt", 1, b"ok")])


GOOD = zlib_stream(b"g" * 20000 + b"tail")
CUT = build_archive([(f"m{i}", 1, random.Random(i).randbytes(3000)) for i in range(20)])
FAILING = {  # case: (archive, the members that fail, words in each reason, the files unpacked)
    "block-type-3": (damaged(b"\xff" + GOOD[1:]), ["bad"], "damaged", ["after.txt", "before.txt"]),
    "crc": (damaged(GOOD[:-8] + bytes([GOOD[-8] ^ 1]) + GOOD[-7:]), ["bad"], "CRC-32 or length",
            ["after.txt", "before.txt"]),
    "archive-cut": (CUT[:len(CUT) // 2], [f"m{i}" for i in range(9, 20)], "cut short", [f"m{i}" for i in range(9)]),
}


@pytest.mark.parametrize("case", sorted(FAILING))
def test_members_that_fail_are_named_and_never_left_under_their_names(tmp_path, case):
    data, names, words, unpacked = FAILING[case]
    with Archive(write(tmp_path, "a.ydz", data)) as archive:
        with pytest.raises(ydr.ExtractError) as raised:
            archive.extractall(tmp_path / "out")
        assert [name for name, _ in raised.value.failures] == names
        assert all(words in why for _, why in raised.value.failures)
        assert archive.test() == raised.value.failures
        for name in names:
            with pytest.raises(ydr.DataError):
                archive.read(name)
            with pytest.raises(ydr.DataError):
                archive.open(name).read()
    assert tree(tmp_path / "out") == unpacked


def test_shared_data_output_limits_existing_files_and_members_on_one_path(tmp_path):
    bomb = bytearray(build_archive([(f"copy{i}", 1, bytes(1 << 20) if i == 0 else b"") for i in range(30)]))
    for i in range(1, 30):
        bomb[48 + 32 * i + 4:48 + 32 * i + 12] = bomb[52:60]
    with Archive(write(tmp_path, "bomb.ydz", bytes(bomb))) as archive:
        with pytest.raises(ydr.ArchiveError, match="overlap"):
            archive.extractall(tmp_path / "bomb-out")
        assert "share" in archive.test()[1][1]
    assert not (tmp_path / "bomb-out").exists()  # refused before anything was written

    big = write(tmp_path, "big.ydz", build_archive([("small", 1, b"s"), ("large", 1, b"z" * (5 << 20))]))
    with Archive(big) as archive:
        with pytest.raises(ydr.ExtractError, match="output limit"):
            archive.extractall(tmp_path / "capped", max_output=1 << 20)
        assert tree(tmp_path / "capped") == ["small"]
        archive.extractall(tmp_path / "roomy", max_output=6 << 20)

    same = write(tmp_path, "same.ydz", build_archive([("d\\x.txt", 1, b"first"), ("d/x.txt", 1, b"second"),
                                                      ("y.txt", 1, b"new y")]))
    dest = tmp_path / "dest"
    (dest / "d").mkdir(parents=True)
    (dest / "y.txt").write_bytes(b"mine")
    with Archive(same) as archive:
        for options, y in (({"keep": True}, b"mine"), ({"overwrite": True}, b"new y")):
            with pytest.raises(ydr.ExtractError, match="same file"):
                archive.extractall(dest, **options)
            assert (dest / "d" / "x.txt").read_bytes() == b"first"
            assert (dest / "y.txt").read_bytes() == y


def test_files_that_are_not_archives_writers_that_fail_and_the_writing_modes(tmp_path):
    for content in (b"", b"PK\x03\x04" + bytes(60)):
        with pytest.raises(ydr.ArchiveError, match="not an archive"):
            Archive(write(tmp_path, "x.ydz", content))
    with pytest.raises(FileNotFoundError):
        Archive(tmp_path / "missing.ydz")
    assert not ydr.archive.is_archive(tmp_path / "x.ydz")

    existing = write(tmp_path, "existing.ydz", b"mine")
    with pytest.raises(FileExistsError):
        Archive(existing, "x")
    with pytest.raises(RuntimeError):
        with Archive(tmp_path / "never.ydz", "w") as archive:
            archive.writestr("a", b"a")
            raise RuntimeError("the block failed")
    with Archive(tmp_path / "dup.ydz", "w") as archive:
        archive.writestr("a/b.txt", b"1")
        with pytest.raises(ValueError, match="in the archive already"):
            archive.writestr("a\\b.txt", b"2")

    path = write(tmp_path, "a.ydz", b"an old file")
    with Archive(path, "w") as archive:  # 'w' replaces the file, once the new archive is whole
        archive.write(tmp_path / "a.ydz", "old/copy")  # the old file's bytes, read before the replacement
        archive.writestr("deep/er/name.txt", "text, as UTF-8: é")
        (tmp_path / "folder").mkdir()
        archive.write(tmp_path / "folder", "only/the/folder")
        with pytest.raises(ValueError, match="259"):
            archive.writestr("x" * 260, b"")
        with pytest.raises(ValueError):
            archive.read("old/copy")  # not open for reading
    with Archive(path) as archive:
        assert archive.namelist() == ["old/copy", "deep/er/name.txt", "only/the/folder/"]
        assert archive.read("old/copy") == b"an old file"
        archive.extractall(tmp_path / "flat", flat=True)
        assert archive.extract("deep/er/name.txt", tmp_path / "one", flat=True) == str(tmp_path / "one" / "name.txt")
    assert (tmp_path / "flat" / "name.txt").read_text("utf-8") == "text, as UTF-8: é"
    # Nothing half-written or temporary is left, and flat unpacking drops the stored folders.
    assert tree(tmp_path) == ["a.ydz", "dup.ydz", "existing.ydz", "flat", "flat/copy", "flat/name.txt", "folder", "one",
                              "one/name.txt", "x.ydz"]


def test_threads_read_members_at_once_and_a_close_waits_for_them(tmp_path):
    contents = [random.Random(i).randbytes(1 << 20) * 3 for i in range(4)]
    archive = Archive(write(tmp_path, "big.ydz", build_archive([(f"m{i}", 1, c) for i, c in enumerate(contents)])))

    def reader(i):
        try:
            for _ in range(20):
                assert archive.read(f"m{i}") == contents[i]
                assert archive.test() == []
        except ValueError as error:  # the archive was closed between two calls
            return str(error)
        return "done"

    with ThreadPoolExecutor(4) as pool:
        outcomes = [pool.submit(reader, i) for i in range(4)]
        archive.close()
    assert {outcome.result() for outcome in outcomes} <= {"done", "the archive is closed"}
    with pytest.raises(ValueError, match="closed"):
        archive.read("m0")
