#!/bin/sh
# Runs a command where 32-bit x86 programs can run, so that the shipped i686 build is tested
# under 32-bit Wine even on a kernel without 32-bit support (ia32 emulation off).
#
# The route is wine-route.sh's (TOLM_WINE_ROUTE once decided):
# - native: the kernel runs them, and the command runs as it is;
# - qemu: the command runs in a private user and mount namespace whose own binfmt_misc (Linux
#   6.7 and later) hands every i386 ELF program to qemu-i386: Wine's 32-bit loader and every
#   32-bit process it starts go through the emulator, while 64-bit programs (the Wine server
#   among them) run natively. The host's binfmt_misc is never touched. The namespace maps the
#   caller to root, so file ownership looks the same to Wine;
# - none: neither works here; the tests run the x86_64 build, and the command runs as it is.
#
# Usage: with-i386.sh COMMAND...    with-i386.sh --check (exit 0 when 32-bit Wine can run)
set -u
here=$(dirname "$0")

if [ "${1:-}" = --inside ]; then
    shift
    # A fresh binfmt_misc instance belongs to this user namespace alone.
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || exit 125
    # i386 ELF executables and shared objects (e_machine 3); F opens the emulator now, so it is
    # found whatever the command's mounts; P hands it the program's own argv[0].
    printf '%s' ':tolm-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$(command -v qemu-i386)"':FP' \
        >/proc/sys/fs/binfmt_misc/register || exit 125
    exec "$@"
fi

# A nested call is already inside the namespace.
[ -n "${TOLM_I386_ROUTE:-}" ] && { [ "${1:-}" = --check ] && exit 0; exec "$@"; }

route=$(sh "$here/wine-route.sh")
if [ "${1:-}" = --check ]; then
    [ "$route" != none ]
    exit $?
fi
[ "$route" = qemu ] || exec "$@"
export TOLM_I386_ROUTE=qemu
exec unshare --user --map-root-user --mount sh "$0" --inside "$@"
