"""Writes a zip of every file under FOLDER whose bytes depend on the files'
names and contents alone: entries in name order, each with the time EPOCH
(seconds since 1970, read as UTC), no extra fields (no owner, no access or
change time), mode 0755 for a program and 0644 for the rest.

usage: reproducible_zip.py ZIP FOLDER EPOCH
"""

import os
import sys
import time
import zipfile

# A zip's times start in 1980.
EARLIEST = 315532800


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip().splitlines()[-1])
    zip_path, folder, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    stamp = time.gmtime(max(epoch, EARLIEST))[:6]
    names = []
    for root, _, files in os.walk(folder):
        for name in files:
            path = os.path.relpath(os.path.join(root, name), folder)
            names.append(path.replace(os.sep, "/"))
    names.sort()

    partial = zip_path + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in names:
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3  # Unix, so that the modes below count
            mode = 0o755 if name.lower().endswith(".exe") else 0o644
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, name), "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)
    os.replace(partial, zip_path)


if __name__ == "__main__":
    main()
