#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""Collects the release files into one fresh folder with a SHA256SUMS that
`sha256sum -c SHA256SUMS` checks there.

Usage: bundle.py OUT_DIR FILE...
"""

import hashlib
import pathlib
import shutil
import sys


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    out = pathlib.Path(sys.argv[1])
    files = sorted((pathlib.Path(name) for name in sys.argv[2:]), key=lambda path: path.name)
    # A fresh folder: a file dropped from the release must not linger in it.
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    sums = []
    for path in files:
        data = path.read_bytes()
        (out / path.name).write_bytes(data)
        sums.append(f"{hashlib.sha256(data).hexdigest()}  {path.name}\n")
    (out / "SHA256SUMS").write_text("".join(sums))
    print(f"release: {len(files)} files and SHA256SUMS in {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
