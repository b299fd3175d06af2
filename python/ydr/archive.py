"""The library's archives, with an interface shaped like ``zipfile.ZipFile``.

    with ydr.archive.Archive("docs.ydz") as archive:
        for info in archive.infolist():
            print(info.filename, info.file_size, hex(info.CRC))
        data = archive.read("reports/q1.txt")
        archive.extractall("out")

    with ydr.archive.Archive("new.ydz", "w") as archive:
        archive.write("notes.txt")
        archive.writestr("folder/hello.txt", b"hello")
        archive.write_tree("reports", threads=4)

Unpacking keeps the guarantees of ``ydr unpack``: nothing is written outside the destination
(stored names are folded below it; links and special files found there are never written
through or replaced), nothing half-written is left under a member's name (each file is
written under a temporary name and moved into place once its CRC-32 and length checked out),
and no existing file is replaced unless asked. An archive whose members share or overlap
their data is refused before anything is written.

A written archive appears under its name only when ``close`` has written all of it.
"""

import io
import os
import stat
import warnings
from concurrent.futures import ThreadPoolExecutor

from . import _ydr
from ._errors import ArchiveError, DataError, Error, ExtractError
from .gz import _RawStream

__all__ = ["Archive", "ArchiveInfo", "is_archive", "ArchiveError", "ExtractError", "DataError"]

FLAG_PACKED = 1
FLAG_NOT_PACKED = 2
FLAG_FOLDER = 3
FLAG_REMOVED = 4

_READ_BUFFER_SIZE = 128 * 1024


class ArchiveInfo:
    """One member, as infolist() gives it (the names of zipfile.ZipInfo where they apply).

    filename      the stored name, '/' between folders (a folder's name ends in '/')
    file_size     the uncompressed size (from the stream's trailer; None when unknown)
    compress_size the size of the member's stream in the archive
    CRC           the CRC-32 of the uncompressed data (None when unknown)
    flag          1 packed, 2 never packed, 3 folder, 4 removed; anything else is invalid
    index         the member's place in the archive
    """

    __slots__ = ("filename", "file_size", "compress_size", "CRC", "flag", "index", "header_offset", "_place")

    def __init__(self, filename, flag, offset, compress_size, place, crc, size, index):
        self.filename = filename
        self.flag = flag
        self.header_offset = offset
        self.compress_size = compress_size
        self._place = place
        self.CRC = crc
        self.file_size = size
        self.index = index

    def is_dir(self):
        return self.flag == FLAG_FOLDER

    def __repr__(self):
        return (f"<ArchiveInfo {self.filename!r} flag={self.flag} file_size={self.file_size} "
                f"compress_size={self.compress_size}>")


def is_archive(path):
    """Whether `path` is a readable archive."""
    try:
        Archive(path).close()
        return True
    except (Error, OSError):
        return False


def _stored_name(path):
    # As zipfile: no drive, no leading separators, no '.' or '..' components.
    path = os.path.splitdrive(os.fspath(path))[1].replace(os.sep, "/")
    parts = [p for p in path.split("/") if p not in ("", ".", "..")]
    return "/".join(parts)


class Archive:
    """An archive opened for reading ('r') or writing ('w' replaces an existing file when it
    closes; 'x' refuses one). `file` is a path."""

    def __init__(self, file, mode="r"):
        if mode not in ("r", "w", "x"):
            raise ValueError("mode is 'r', 'w' or 'x'")
        self.filename = os.fspath(file)
        self.mode = mode
        self._reader = None
        self._writer = None
        self._closed = False
        if mode == "r":
            self._reader = _ydr.ArchiveReader(os.fsencode(self.filename))
            self._infos = [ArchiveInfo(*record, index) for index, record in enumerate(self._reader.members())]
            self._by_name = {}
            for info in self._infos:
                self._by_name.setdefault(info.filename, info)
            # The header lists members whose records are not in the file.
            self.records_missing = self._reader.declared_members != len(self._infos)
        else:
            if mode == "x" and os.path.lexists(self.filename):
                raise FileExistsError(f"'{self.filename}' exists")
            self._writer = _ydr.ArchiveWriter(os.fsencode(self.filename), mode == "w")

    # -- both --
    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        if kind is not None and self._writer is not None:
            self._writer.discard()  # a failed block leaves no archive behind
            self._writer = None
        self.close()

    def close(self):
        """Closes the archive; an archive being written is written and moved into place."""
        self._closed = True
        if self._reader is not None:
            self._reader.close()  # after the calls other threads have under way
        if self._writer is not None:
            writer, self._writer = self._writer, None
            writer.close()

    # -- reading --
    def _need_reader(self):
        if self._reader is None:
            raise ValueError("the archive is not open for reading")
        if self._closed:
            raise ValueError("the archive is closed")

    def namelist(self):
        self._need_reader()
        return [info.filename for info in self._infos]

    def infolist(self):
        self._need_reader()
        return list(self._infos)

    def getinfo(self, name):
        self._need_reader()
        if isinstance(name, ArchiveInfo):
            return name
        try:
            return self._by_name[name.replace("\\", "/")]
        except KeyError:
            raise KeyError(f"there is no member named {name!r}") from None

    def open(self, name):
        """A binary file object that decodes the member as it is read (bounded memory); the
        CRC-32 and length are checked at its end (DataError when they do not match)."""
        self._need_reader()
        info = self.getinfo(name)
        raw = _RawStream(self._reader.open(info.index))
        return io.BufferedReader(raw, _READ_BUFFER_SIZE)

    def read(self, name):
        """The member's bytes, checked against its CRC-32 and length."""
        self._need_reader()
        return self._reader.read(self.getinfo(name).index)

    def test(self):
        """Every member that fails to decode with a matching CRC-32 and length, as (name, reason)."""
        self._need_reader()
        failures = [(info.filename, why) for info in self._infos
                    if (why := self._reader.test(info.index)) is not None]
        if self.records_missing:
            failures.append(("", "the archive is cut short inside its record table"))
        return failures

    def testzip(self):
        """The name of the first member that fails to decode or check out, or None (as zipfile)."""
        failures = self.test()
        return failures[0][0] if failures else None

    def extractall(self, path=None, members=None, *, flat=False, overwrite=False, keep=False, max_output=None):
        """Unpacks the members (all, or those named in `members`) below `path` (default: the
        current folder), with the command's guarantees.

        When a file to write exists already, nothing is unpacked (ydr.Error) unless
        `overwrite` (replace the files that were there when unpacking began) or `keep`
        (leave them as they are). `flat` drops the stored folders. `max_output` caps the
        bytes written. Members that fail are named in the ExtractError raised at the end;
        the others are unpacked.
        """
        self._need_reader()
        if overwrite and keep:
            raise ValueError("overwrite and keep exclude one another")
        if members is None:
            chosen = [info.index for info in self._infos]
        else:
            chosen = sorted({self.getinfo(m).index for m in members})
        dest = os.fsencode(os.getcwd() if path is None else path)
        limit = (1 << 64) - 1 if max_output is None else int(max_output)
        existing = 1 if overwrite else 2 if keep else 0
        failures = [(self._infos[index].filename or f"member {index}", why)
                    for index, why in self._reader.extract(chosen, dest, flat, existing, limit)]
        if self.records_missing and members is None:
            failures.append(("", "the archive is cut short inside its record table"))
        if failures:
            first = failures[0]
            raise ExtractError(f"{len(failures)} member(s) failed; the first, {first[0]!r}: {first[1]}", failures)

    def extract(self, member, path=None, *, flat=False, overwrite=False, keep=False):
        """Unpacks one member below `path`; returns the path of the file or folder it became."""
        info = self.getinfo(member)
        self.extractall(path, [info], flat=flat, overwrite=overwrite, keep=keep)
        parts = _ydr.archive_folded_path(info.filename, flat)
        return os.path.join(os.getcwd() if path is None else os.fspath(path), *parts)

    # -- writing --
    def _need_writer(self):
        if self._writer is None:
            raise ValueError("the archive is not open for writing")

    def writestr(self, name, data):
        """Adds a member `name` ('/' between folders; a name ending in '/' is a folder) holding `data`."""
        self._need_writer()
        name = name.filename if isinstance(name, ArchiveInfo) else name
        if name.endswith("/"):
            self._writer.add_folder(name)
        else:
            if isinstance(data, str):
                data = data.encode("utf-8")
            self._writer.add_stream(name, _ydr.archive_compress_bytes(data))

    def write(self, filename, arcname=None):
        """Adds the file `filename` as `arcname` (default: its path without drive or leading
        separators). A folder adds a folder member only (write_tree packs its contents)."""
        self._need_writer()
        arcname = _stored_name(filename if arcname is None else arcname)
        if os.path.isdir(filename):
            self._writer.add_folder(arcname + "/")
        else:
            stream, _ = _ydr.archive_compress_file(os.fsencode(filename))
            self._writer.add_stream(arcname, stream)

    def write_tree(self, folder, arcname=None, threads=None):
        """Adds `folder`, as `arcname` (default: its own name), and everything below it:
        each folder's member before its contents, entries in name order. Files are
        compressed on `threads` threads (default: the processors); the archive is the same
        byte for byte whatever their number. Links are followed, each folder walked once;
        pipes, sockets and devices are left out with a warning."""
        self._need_writer()
        base = _stored_name(os.path.basename(os.path.abspath(folder)) if arcname is None else arcname)
        jobs = []
        self._plan(os.fspath(folder), base, jobs, set())
        threads = threads or os.cpu_count() or 1
        with ThreadPoolExecutor(max_workers=threads) as pool:
            window = []  # compressions in flight, in member order
            plan = iter(jobs)
            for job in plan:
                window.append((job, pool.submit(_ydr.archive_compress_file, os.fsencode(job[1]))
                               if job[1] is not None else None))
                if len(window) >= 4 * threads:
                    self._add_planned(*window.pop(0))
            for entry in window:
                self._add_planned(*entry)

    def _add_planned(self, job, future):
        name, source = job
        if future is None:
            self._writer.add_folder(name + "/")
        else:
            stream, _ = future.result()
            self._writer.add_stream(name, stream)

    def _plan(self, folder, name, jobs, walked):
        info = os.stat(folder)
        if (info.st_dev, info.st_ino) in walked:
            return  # reached again through a link
        walked.add((info.st_dev, info.st_ino))
        jobs.append((name, None))
        for entry in sorted(os.scandir(folder), key=lambda e: e.name):
            member = f"{name}/{entry.name}"
            try:
                mode = os.stat(entry.path).st_mode
            except OSError as error:
                warnings.warn(f"{entry.path}: left out: {error.strerror}")
                continue
            if stat.S_ISDIR(mode):
                self._plan(entry.path, member, jobs, walked)
            elif stat.S_ISREG(mode):
                jobs.append((member, entry.path))
            else:
                warnings.warn(f"{entry.path}: left out: not a regular file or folder")

