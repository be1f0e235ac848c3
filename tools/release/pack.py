#!/usr/bin/env python3
"""Writes the release archives byte for byte the same on every run.

    pack.py zip OUT.zip EPOCH NAME=FILE[:crlf|:x] ...
    pack.py tgz OUT.tar.gz EPOCH NAME=FILE[:crlf|:x] ...

Each NAME=FILE puts FILE into the archive as NAME; ":crlf" gives it Windows
line endings, ":x" makes it executable.  @VERSION@ and @SHORT_VERSION@ in
text files (".txt", ".sh", LICENSE) become the values of the environment
variables GLIMMORA_VERSION and GLIMMORA_SHORT_VERSION.

Entries are sorted by name, owned by root (0:0), dated EPOCH (the commit's
time, SOURCE_DATE_EPOCH) and have fixed modes; gzip stores no name or time.
"""
import gzip
import io
import os
import sys
import tarfile
import time
import zipfile

TEXT_ENDINGS = (".txt", ".sh")


def entries(items_given):
    out = []
    for item in items_given:
        name, _, source = item.partition("=")
        source, _, flag = source.partition(":")
        data = open(source, "rb").read()
        if name.endswith(TEXT_ENDINGS) or os.path.basename(name) == "LICENSE":
            data = (data.replace(b"@VERSION@", os.environ["GLIMMORA_VERSION"].encode())
                    .replace(b"@SHORT_VERSION@", os.environ["GLIMMORA_SHORT_VERSION"].encode()))
        if flag == "crlf":
            data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        out.append((name, data, 0o755 if flag == "x" else 0o644))
    return sorted(out)


def write_zip(path, epoch, items):
    stamp = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(path, "w") as archive:
        for name, data, mode in items:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the mode below is read
            info.external_attr = (0o100000 | mode) << 16
            archive.writestr(info, data, compresslevel=9)


def write_tgz(path, epoch, items):
    folders = {os.path.dirname(name) for name, _, _ in items} - {""}
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.GNU_FORMAT) as archive:
        for name, data, mode in sorted(items + [(folder, None, 0o755) for folder in folders]):
            info = tarfile.TarInfo(name)
            info.mtime, info.mode = epoch, mode
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            if data is None:
                info.type = tarfile.DIRTYPE
                archive.addfile(info)
            else:
                info.size = len(data)
                archive.addfile(info, io.BytesIO(data))
    with open(path, "wb") as out, gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=0, compresslevel=9) as z:
        z.write(raw.getvalue())


def main():
    kind, path, epoch, items_given = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
    (write_zip if kind == "zip" else write_tgz)(path, epoch, entries(items_given))


if __name__ == "__main__":
    main()
