#!/bin/sh
# Prints the Windows build whose tests this machine runs under Wine: win32, the shipped build,
# wherever 32-bit Wine can run (natively, or emulated where the kernel has 32-bit support off:
# cmake/with-i386.sh); win64 only where neither works.
if sh "$(dirname "$0")/with-i386.sh" --check; then echo win32; else echo win64; fi
