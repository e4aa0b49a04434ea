#!/usr/bin/env python3
"""Zips a folder so that the same files always give the same archive bytes.

  reproducible_zip.py <archive.zip> <folder> <unix time>

Entries come in sorted order under the folder's own name, each stamped with
the given time (not the files' modification times), with fixed attributes
and the same compression, so two runs over the same files agree byte for byte.
"""

import os
import sys
import time
import zipfile


def main():
    archive, folder, stamp = sys.argv[1], sys.argv[2], int(sys.argv[3])
    # The zip format cannot express times before 1980.
    date_time = time.gmtime(max(stamp, 315532800))[:6]
    top = os.path.basename(os.path.normpath(folder))
    paths = []
    for root, dirs, files in os.walk(folder):
        for name in files:
            full = os.path.join(root, name)
            paths.append(os.path.relpath(full, folder).replace(os.sep, "/"))
    with zipfile.ZipFile(archive + ".part", "w") as zf:
        for relative in sorted(paths):
            info = zipfile.ZipInfo(top + "/" + relative, date_time)
            info.create_system = 0  # MS-DOS: no Unix owner or mode bits
            info.external_attr = 0x20  # "archive", as Windows sets it
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, relative), "rb") as f:
                zf.writestr(info, f.read(), compresslevel=9)
    os.replace(archive + ".part", archive)


if __name__ == "__main__":
    main()
