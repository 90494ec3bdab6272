#!/usr/bin/env python3
"""Extracts every PPD from a pyppd-generated CUPS driver script (/usr/lib/cups/driver/NAME).

Imports the script as a module (its main() is guarded by __name__), decompresses the archive
once and slices each PPD out of it: the same files as running `NAME cat URI` for every
distinct one, with one decompression instead of one per file.
Usage: ppd-corpus-extract.py DRIVER OUTDIR
"""
import base64
import importlib.machinery
import importlib.util
import lzma
import os
import sys

driver, out = sys.argv[1], sys.argv[2]
loader = importlib.machinery.SourceFileLoader("pyppd_driver", driver)
module = importlib.util.module_from_spec(importlib.util.spec_from_loader("pyppd_driver", loader))
loader.exec_module(module)
ppds = module.load()
archive = lzma.decompress(base64.b64decode(ppds.pop("ARCHIVE").encode("ascii")))
for key, (start, length, _lines) in ppds.items():
    relative = key.split("/", 1)[1]  # "0/ppd/maker/model.ppd" -> "ppd/maker/model.ppd"
    target = os.path.join(out, relative)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target, "wb") as file:
        file.write(archive[start:start + length])
print(f"{os.path.basename(driver)}: {len(ppds)} files, archive {len(archive)} bytes", file=sys.stderr)
