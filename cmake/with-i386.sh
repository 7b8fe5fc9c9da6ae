#!/bin/sh
# Runs a command where 32-bit x86 programs can run, so that the shipped i686 build is tested
# under 32-bit Wine even on a kernel without 32-bit support (ia32 emulation off).
#
# Where the kernel runs them, the command runs as it is. Otherwise it runs in a private user and
# mount namespace whose own binfmt_misc (Linux 6.7 and later) hands every i386 ELF program to
# qemu-i386: Wine's 32-bit loader and every 32-bit process it starts go through the emulator,
# while 64-bit programs (the Wine server among them) run natively. The host's binfmt_misc is
# never touched. The namespace maps the caller to root, so file ownership looks the same to Wine.
#
# Usage: with-i386.sh COMMAND...    with-i386.sh --check (exit 0 when 32-bit Wine can run)
# TOLM_I386=qemu takes the emulated route even where the kernel could run the programs itself,
# so that the route can be tried on any machine.
set -u
loader=/usr/lib/wine/wine
qemu=$(command -v qemu-i386 2>/dev/null || true)

native() { [ "${TOLM_I386:-}" != qemu ] && "$loader" --version >/dev/null 2>&1; }

if [ "${1:-}" = --inside ]; then
    shift
    # A fresh binfmt_misc instance belongs to this user namespace alone.
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || exit 125
    # i386 ELF executables and shared objects (e_machine 3); F opens the emulator now, so it is
    # found whatever the command's mounts; P hands it the program's own argv[0].
    printf '%s' ':tolm-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':FP' \
        >/proc/sys/fs/binfmt_misc/register || exit 125
    exec "$@"
fi

check=0
[ "${1:-}" = --check ] && { check=1; set -- "$loader" --version; }

if [ -n "${TOLM_I386_ROUTE:-}" ] || native; then
    # Already inside (a nested call), or the kernel runs 32-bit programs itself.
    [ $check = 1 ] && { "$@" >/dev/null 2>&1; exit $?; }
    exec "$@"
fi
if [ -z "$qemu" ]; then
    echo "with-i386.sh: this kernel cannot run 32-bit programs and qemu-i386 is not installed" >&2
    exit 125
fi
export TOLM_I386_ROUTE=qemu
if [ $check = 1 ]; then
    unshare --user --map-root-user --mount sh "$0" --inside "$@" >/dev/null 2>&1
    exit $?
fi
exec unshare --user --map-root-user --mount sh "$0" --inside "$@"
