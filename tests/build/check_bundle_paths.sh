#!/usr/bin/env bash
# Fails when a file in the test bundle names a folder of the build machine:
# /tmp/, /var/, /root/, the repository or the build directory, in narrow or
# wide (UTF-16) text, with / or \ (Wine shows the Unix root as Z:\). Such a
# path is a test looking for the build machine on the Windows machine: a
# compiled-in source path, a __FILE__ outside the prefix maps, debug
# information left in.
# Usage: check_bundle_paths.sh <unpacked bundle folder or .zip> [<repository> [<build dir>]]
set -uo pipefail
target="$1"
repo="${2:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
build="${3:-$repo}"

exec python3 - "$target" "$repo" "$build" <<'PY'
import os, re, sys, zipfile

target, repo, build = sys.argv[1:4]
folders = {"/tmp/", "/var/", "/root/", repo.rstrip("/") + "/", build.rstrip("/") + "/"}
needles = set()
for folder in folders:
    for spelling in (folder, folder.replace("/", "\\")):
        needles.add(spelling.encode("utf-8"))
        needles.add(spelling.encode("utf-16-le"))


def files():
    if zipfile.is_zipfile(target):
        with zipfile.ZipFile(target) as archive:
            for name in archive.namelist():
                if not name.endswith("/"):
                    yield name, archive.read(name)
    else:
        for root, _, names in os.walk(target):
            for name in names:
                path = os.path.join(root, name)
                with open(path, "rb") as f:
                    yield os.path.relpath(path, target), f.read()


failed = 0
count = 0
for name, data in sorted(files()):
    count += 1
    hits = sorted(n for n in needles if n in data)
    if not hits:
        continue
    failed += 1
    print(f"FAIL: {name} names the build machine:")
    shown = set()
    for needle in hits:
        at = data.find(needle)
        context = data[max(0, at - 40):at + 80]
        text = re.sub(rb"[^\x20-\x7e]", b".", context.replace(b"\0", b"")).decode()
        if text not in shown:
            shown.add(text)
            print(f"    ...{text}...")
if failed:
    print(f"{failed} of {count} files name build-machine paths")
    sys.exit(1)
print(f"bundle paths checked: no build-machine path in {count} files")
PY
