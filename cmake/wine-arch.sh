#!/bin/sh
# Prints the Windows build whose tests this machine can run under Wine: win32 (what ships)
# where the kernel runs 32-bit programs, otherwise win64 (some kernels have 32-bit support off).
if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo win32; else echo win64; fi
