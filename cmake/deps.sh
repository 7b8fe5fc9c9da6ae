#!/bin/sh
# Installs the Debian packages the build and the tests need, when they are missing.
# As root it runs apt-get; otherwise it prints the one line to run and fails.
set -eu
packages="cmake ninja-build g++ googletest libgtest-dev python3 \
g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick fonts-wqy-zenhei locales-all \
faketime libfaketime libfaketime:i386 procps util-linux \
clang libclang-rt-dev nsis openssl osslsigncode git"

missing=
for p in $packages; do
    case "$p" in *:*) q=$p ;; *) q="$p" ;; esac
    if ! dpkg-query -W -f='${Status}\n' "$q" 2>/dev/null | grep -q '^install ok installed$'; then
        missing="$missing $p"
    fi
done
here=$(dirname "$0")
# 32-bit Wine on a kernel that cannot run 32-bit programs needs qemu-i386 from qemu-user 10 or
# later (7.2 cannot map Wine's shared user data): from the release itself where it has that
# (Debian 13 and later), otherwise from the release's backports (Debian 12).
needs_qemu() {
    [ -x /usr/lib/wine/wine ] || return 1
    if [ "${TOLM_I386:-}" != qemu ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then return 1; fi
    # Where user namespaces are forbidden (a chroot, Docker's default profile) the emulated
    # route cannot run, so qemu would be installed for nothing.
    unshare --user --map-root-user true >/dev/null 2>&1 || return 1
    v=$(qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
    [ "${v:-0}" -lt 10 ]
}
# The major version of the qemu-user that the release's own sources offer (0 for none).
release_qemu() {
    apt-cache policy qemu-user 2>/dev/null |
        sed -n 's/^ *Candidate: \([0-9]*:\)\{0,1\}\([0-9]*\)\..*/\2/p' | head -n 1 | grep . || echo 0
}
install_qemu() {
    if [ "$(release_qemu)" -ge 10 ]; then
        echo "Installing qemu-user (32-bit Wine runs emulated on this kernel)"
        apt-get install -y -q --no-install-recommends qemu-user
    else
        suite=$(sh "$here/backports.sh")
        echo "Installing qemu-user from $suite (32-bit Wine runs emulated on this kernel)"
        apt-get install -y -q -t "$suite" --no-install-recommends qemu-user
    fi
}

if [ -z "$missing" ]; then
    needs_qemu || exit 0
    [ "$(id -u)" = 0 ] || { echo "Run as root: sh cmake/deps.sh (installs qemu-user)" >&2; exit 1; }
    export DEBIAN_FRONTEND=noninteractive
    install_qemu
    exit 0
fi

needs_i386=
case "$missing" in *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || needs_i386=1 ;; esac

if [ "$(id -u)" != 0 ]; then
    echo "Missing packages:$missing" >&2
    echo "Run as root:" >&2
    [ -n "$needs_i386" ] && printf '  dpkg --add-architecture i386 && ' >&2 || printf '  ' >&2
    echo "apt-get update && apt-get install -y$missing" >&2
    exit 1
fi

echo "Installing:$missing"
[ -n "$needs_i386" ] && dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q $missing
if needs_qemu; then install_qemu; fi
