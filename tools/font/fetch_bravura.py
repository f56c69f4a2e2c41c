#!/usr/bin/env python3
"""Makes sure the pinned Bravura npm package is installed in this folder.

    fetch_bravura.py NPM FOLDER STAMP

FOLDER holds package.json and package-lock.json. When node_modules already
has the locked version with the files the font generator reads, nothing is
done (a fraction of a second). Otherwise `npm ci` installs it; a lock on the
folder keeps builds of several build trees from running npm at once. STAMP is
rewritten only when the installed version changes, so the font is regenerated
only then.
"""

import fcntl
import json
import os
import subprocess
import sys

PACKAGE = "@vexflow-fonts/bravura"
NEEDED = ("bravura.otf", "metadata.json", "LICENSE.txt")


def Locked(folder):
    with open(os.path.join(folder, "package-lock.json"), encoding="utf-8") as f:
        lock = json.load(f)
    return lock["packages"]["node_modules/" + PACKAGE]["version"]


def Installed(folder):
    pkg = os.path.join(folder, "node_modules", PACKAGE)
    try:
        with open(os.path.join(pkg, "package.json"), encoding="utf-8") as f:
            version = json.load(f)["version"]
    except (OSError, ValueError, KeyError):
        return None
    if not all(os.path.isfile(os.path.join(pkg, n)) for n in NEEDED):
        return None
    return version


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    npm, folder, stamp = argv[1:]
    want = Locked(folder)
    fd = os.open(folder, os.O_RDONLY)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX)
        if Installed(folder) != want:
            print("fetch_bravura: npm ci for %s@%s" % (PACKAGE, want), flush=True)
            subprocess.run([npm, "ci", "--prefix", folder, "--ignore-scripts", "--no-audit", "--no-fund"],
                           check=True, stdout=sys.stderr)
            if Installed(folder) != want:
                sys.exit("fetch_bravura: npm ci did not install %s@%s" % (PACKAGE, want))
    finally:
        os.close(fd)
    text = "%s@%s\n" % (PACKAGE, want)
    try:
        with open(stamp, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(stamp, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main(sys.argv)
