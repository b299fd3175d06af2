"""Every member of every archive in a folder, checked on a dask cluster: one table of
archive, member, size, SHA-1 and whether the member checked out (CRC-32 and length).

    python3 examples/archive_table.py FOLDER [--scheduler tcp://host:8786] [--output table.csv]

Without --scheduler a local cluster of two worker processes is started; with it, the same
code runs on a real cluster (each worker needs the ydr package installed and the archives
reachable at the same paths, on a shared file system). Only paths go to the workers and only
rows come back: each worker opens its archives itself, since the library's objects (an open
archive, a digest in progress) belong to the process that made them.
"""

import argparse
import csv
import os
import sys

FIELDS = ["archive", "member", "size", "sha1", "ok", "error"]


def check_archive(path):
    """The rows of one archive, each member decoded once: its bytes go to SHA-1 as they are
    read, in pieces, so memory stays bounded whatever the member's size."""
    import ydr
    import ydr.archive
    import ydr.sha1

    rows = []
    try:
        archive = ydr.archive.Archive(path)
    except (ydr.Error, OSError) as error:
        return [dict(archive=path, member="", size=None, sha1=None, ok=False, error=str(error))]
    with archive:
        for info in archive.infolist():
            if info.is_dir():
                continue
            row = dict(archive=path, member=info.filename, size=None, sha1=None, ok=False, error="")
            try:
                digest, size = ydr.sha1.new(), 0
                with archive.open(info) as member:
                    while piece := member.read(1 << 20):
                        digest.update(piece)
                        size += len(piece)
                row.update(size=size, sha1=digest.hexdigest(), ok=True)
            except ydr.Error as error:
                row["error"] = str(error)
            rows.append(row)
    return rows


def archive_table(folder, client):
    """The table (a list of rows, archives in name order) of every archive in `folder`."""
    paths = sorted(os.path.join(folder, name) for name in os.listdir(folder)
                   if os.path.isfile(os.path.join(folder, name)))
    futures = client.map(check_archive, paths, pure=False)
    return [row for rows in client.gather(futures) for row in rows]


def write_table(rows, out):
    writer = csv.DictWriter(out, FIELDS)
    writer.writeheader()
    writer.writerows(rows)


def main(argv=None):
    from dask.distributed import Client, LocalCluster

    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--scheduler", help="a running cluster's scheduler address (default: a local cluster)")
    parser.add_argument("--workers", type=int, default=2, help="local worker processes (default 2)")
    parser.add_argument("--output", help="the CSV file to write (default: standard output)")
    args = parser.parse_args(argv)
    if args.scheduler:
        client, cluster = Client(args.scheduler), None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        rows = archive_table(args.folder, client)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    if args.output:
        with open(args.output, "w", newline="") as out:
            write_table(rows, out)
    else:
        write_table(rows, sys.stdout)
    return 0 if all(row["ok"] for row in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
