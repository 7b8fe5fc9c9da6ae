#!/usr/bin/env python3
"""Copies a program and appends bytes after its image: an overlay, which neither the loader nor
the version resource looks at, so the copy is the same program, only larger (the tests' large
update for slow lines). The bytes are fixed, so every build makes the same file.
Usage: pad.py PROGRAM COPY BYTES"""
import sys

source, target, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(source, "rb") as f:
    image = f.read()
overlay = bytes((i * 7919 >> 3) & 0xFF for i in range(size))
with open(target + ".tmp", "wb") as f:
    f.write(image + overlay)
__import__("os").replace(target + ".tmp", target)
