#!/bin/sh
# Prints the Windows build whose tests this machine runs under Wine: win32, the shipped build,
# wherever 32-bit Wine can run (natively, or emulated where the kernel has 32-bit support off);
# win64 only where neither works (cmake/wine-route.sh decides).
case "$(sh "$(dirname "$0")/wine-route.sh")" in
    none) echo win64 ;;
    *) echo win32 ;;
esac
