"""ydr's Python package against the standard modules on the same work, in one process:
ydr.gz against zlib (raw deflate with the trailer's CRC-32) and gzip, ydr.archive against
zipfile (deflate), and two threads decompressing two streams at once against one thread.

    PYTHONPATH=build/release/python python3 bench/python_bench.py     (make bench runs it)

The corpus is the benchmarks' own (scripts/make_corpus.sh, $YDR_CORPUS, default
/tmp/ydr-corpus). Each contender runs in turn within every round and keeps its best time,
since the shared machines drift from one run to the next. MB/s of uncompressed data.
"""

import gzip
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zipfile
import zlib

import ydr.archive
import ydr.gz

CORPUS = os.environ.get("YDR_CORPUS", "/tmp/ydr-corpus")
FILES = ["text_c.bin", "docs.bin", "elf.bin", "runs.bin"]
ROUNDS = int(os.environ.get("YDR_BENCH_ROUNDS", "3"))


def best_times(contenders):
    """{name: best seconds} over ROUNDS rounds, the contenders alternating within each."""
    best = {name: float("inf") for name in contenders}
    for _ in range(ROUNDS):
        for name, work in contenders.items():
            start = time.perf_counter()
            work()
            best[name] = min(best[name], time.perf_counter() - start)
    return best


def zlib_compress(data, level):
    packer = zlib.compressobj(level, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush() + zlib.crc32(data).to_bytes(4, "little") + \
        (len(data) & 0xFFFFFFFF).to_bytes(4, "little")


def zlib_decompress(stream):
    unpacker = zlib.decompressobj(-15)
    data = unpacker.decompress(stream)
    if unpacker.unused_data[:4] != zlib.crc32(data).to_bytes(4, "little"):
        raise ValueError("CRC-32")
    return data


def row(work, size, best, ours, peers):
    mbs = {name: size / best[name] / 1e6 for name in best}
    cells = [f"{mbs[ours]:8.0f}"] + [f"{mbs[p]:8.0f} ({mbs[ours] / mbs[p]:.2f}x)" for p in peers]
    print(f"| {work:24} | " + " | ".join(cells) + " |")
    return {p: mbs[ours] / mbs[p] for p in peers}


def stream_benchmarks():
    print("\n## ydr.gz against zlib and gzip (MB/s; ratio ours/peer)\n")
    print("| Work | ydr.gz | zlib level 6 | zlib level 1 | gzip level 9 |")
    print("|---|---|---|---|---|")
    for name in FILES:
        with open(os.path.join(CORPUS, name), "rb") as f:
            data = f.read()
        best = best_times({"ours": lambda: ydr.gz.compress(data), "zlib6": lambda: zlib_compress(data, 6),
                           "zlib1": lambda: zlib_compress(data, 1), "gzip": lambda: gzip.compress(data)})
        row(f"compress {name}", len(data), best, "ours", ["zlib6", "zlib1", "gzip"])
    print("\nDecompression of the same stream (ours, level 0), CRC-32 checked by both; gzip reads "
          "its own level-9 file of the same data.\n")
    print("| Work | ydr.gz | zlib | gzip |")
    print("|---|---|---|---|")
    for name in FILES:
        with open(os.path.join(CORPUS, name), "rb") as f:
            data = f.read()
        stream, gz = ydr.gz.compress(data), gzip.compress(data)
        assert ydr.gz.decompress(stream) == zlib_decompress(stream) == data
        best = best_times({"ours": lambda: ydr.gz.decompress(stream), "zlib": lambda: zlib_decompress(stream),
                           "gzip": lambda: gzip.decompress(gz)})
        row(f"decompress {name}", len(data), best, "ours", ["zlib", "gzip"])


def thread_benchmark():
    print("\n## Threads: two streams decompressed at once on two threads against one after another\n")
    print("Two processes doing the same show what the machine allows: with the GIL released, two")
    print("threads do as well as two processes.\n")
    import multiprocessing

    with open(os.path.join(CORPUS, "text_c.bin"), "rb") as f:
        data = f.read()
    streams = [ydr.gz.compress(data[: len(data) // 2]), ydr.gz.compress(data[len(data) // 2:])]
    repeat = 4

    def many(decompress, stream):
        for _ in range(repeat):
            decompress(stream)

    def both_at_once(decompress, kind):
        make = threading.Thread if kind == "threads" else multiprocessing.get_context("fork").Process
        workers = [make(target=many, args=(decompress, s)) for s in streams]
        for w in workers:
            w.start()
        for w in workers:
            w.join()

    for label, decompress in (("ydr.gz", ydr.gz.decompress), ("zlib", zlib_decompress)):
        best = best_times({"one": lambda: [many(decompress, s) for s in streams],
                           "threads": lambda: both_at_once(decompress, "threads"),
                           "processes": lambda: both_at_once(decompress, "processes")})
        print(f"- {label}: 2 threads {best['one'] / best['threads']:.2f}x one thread, "
              f"2 processes {best['one'] / best['processes']:.2f}x "
              f"({repeat * len(data) / best['threads'] / 1e6:.0f} MB/s on two threads, "
              f"{repeat * len(data) / best['one'] / 1e6:.0f} on one)")


def archive_benchmarks():
    tree = os.path.join(CORPUS, "mixed_small")
    if not os.path.isdir(tree):
        return
    print("\n## ydr.archive against zipfile (deflate, level 6) on mixed_small (MB/s of file data)\n")
    size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(tree) for f in fs)
    work = tempfile.mkdtemp(prefix="ydr-pybench-")
    try:
        ours, theirs = os.path.join(work, "a.ydz"), os.path.join(work, "a.zip")

        def pack_ours(threads):
            with ydr.archive.Archive(ours, "w") as archive:
                archive.write_tree(tree, threads=threads)

        def pack_zip():
            with zipfile.ZipFile(theirs, "w", zipfile.ZIP_DEFLATED) as archive:
                for folder, _, files in os.walk(tree):
                    for name in files:
                        path = os.path.join(folder, name)
                        archive.write(path, os.path.relpath(path, os.path.dirname(tree)))

        def read_ours():
            with ydr.archive.Archive(ours) as archive:
                for info in archive.infolist():
                    if not info.is_dir():
                        archive.read(info)

        def read_zip():
            with zipfile.ZipFile(theirs) as archive:
                for info in archive.infolist():
                    archive.read(info)

        def unpack(kind):
            out = os.path.join(work, "out-" + kind)
            shutil.rmtree(out, ignore_errors=True)
            if kind == "ours":
                with ydr.archive.Archive(ours) as archive:
                    archive.extractall(out)
            else:
                with zipfile.ZipFile(theirs) as archive:
                    archive.extractall(out)

        print("| Work | ydr.archive | zipfile |")
        print("|---|---|---|")
        best = best_times({"ours": lambda: pack_ours(1), "zip": pack_zip})
        row("pack, 1 thread", size, best, "ours", ["zip"])
        best = best_times({"ours": lambda: pack_ours(None), "zip": pack_zip})
        row("pack, threads", size, best, "ours", ["zip"])
        best = best_times({"ours": read_ours, "zip": read_zip})
        row("read every member", size, best, "ours", ["zip"])
        best = best_times({"ours": lambda: unpack("ours"), "zip": lambda: unpack("zip")})
        row("extractall", size, best, "ours", ["zip"])
        print(f"\nsizes: ours {os.path.getsize(ours)} bytes, zipfile {os.path.getsize(theirs)} bytes")
    finally:
        shutil.rmtree(work)


def main():
    if not os.path.exists(os.path.join(CORPUS, "MANIFEST")):
        script = os.path.join(os.path.dirname(__file__), "..", "scripts", "make_corpus.sh")
        subprocess.run(["bash", script, CORPUS], check=True, stdout=subprocess.DEVNULL)
    print(f"Python {sys.version.split()[0]}, zlib {zlib.ZLIB_RUNTIME_VERSION}, {os.cpu_count()} processors")
    stream_benchmarks()
    thread_benchmark()
    archive_benchmarks()


if __name__ == "__main__":
    main()
