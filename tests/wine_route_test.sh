#!/bin/sh
# How the Windows tests run on three kinds of machine, with stand-ins for the 32-bit Wine loader,
# qemu-i386 and unshare: one whose kernel runs 32-bit programs, one that runs them emulated in a
# user namespace, and one where user namespaces are forbidden (a chroot, Docker's default
# profile). In each, the route, the build picked and the wrapping of a Windows test command must
# agree, and the report must say plainly when the shipped build goes untested.
# Usage: wine_route_test.sh SOURCE-DIR SCRATCH-DIR
set -u
src=$1 work=$2
rm -rf "$work" && mkdir -p "$work/bin" "$work/build"
log=$work/unshare.log

# The loader runs only natively ("native" mode) or inside the emulating namespace.
cat >"$work/wine" <<'S'
#!/bin/sh
[ "$STUB_KERNEL" = native ] || [ -n "${TOLM_I386_ROUTE:-}" ]
S
printf '#!/bin/sh\nexit 0\n' >"$work/bin/qemu-i386"
# unshare: refused where namespaces are forbidden; elsewhere it logs and runs what the namespace
# would run once binfmt_misc is set up (with-i386.sh --inside mounts the real thing).
cat >"$work/bin/unshare" <<'S'
#!/bin/sh
echo "$*" >>"$STUB_LOG"
if [ "$STUB_USERNS" = forbidden ]; then
    echo "unshare: unshare failed: Operation not permitted" >&2
    exit 1
fi
while [ $# -gt 0 ]; do case $1 in --*) shift ;; *) break ;; esac; done
[ "$1 $3" = "sh --inside" ] && { shift 3; exec "$@"; }
exec "$@"
S
chmod +x "$work/wine" "$work/bin/"*
# Only the stand-ins and the plain tools the scripts use: a real qemu-i386 or unshare on this
# machine must not decide the cases.
mkdir -p "$work/tools"
for c in sh cat grep tr rm dirname true; do
    for d in /usr/bin /bin; do [ -x "$d/$c" ] && { ln -s "$d/$c" "$work/tools/$c"; break; }; done
done

failures=0
fail() { echo "FAIL ($case): $*"; failures=$((failures + 1)); }

# case  kernel  userns     route   build  wrapped-run-says  report-says
while read -r case kernel userns route arch ran report; do
    : >"$log"
    # Where namespaces are forbidden, deps.sh installs no qemu: the reason must still be the namespace.
    [ "$userns" = forbidden ] && rm -f "$work/bin/qemu-i386"
    export STUB_KERNEL=$kernel STUB_USERNS=$userns STUB_LOG=$log TOLM_WINE_LOADER=$work/wine
    export PATH="$work/bin:$work/tools" DISPLAY=:tolm-route-test
    unset TOLM_WINE_ROUTE TOLM_I386_ROUTE TOLM_I386
    got=$(sh "$src/cmake/wine-route.sh")
    [ "$got" = "$route" ] || fail "route $got, expected $route"
    got=$(sh "$src/cmake/wine-arch.sh")
    [ "$got" = "$arch" ] || fail "build $got, expected $arch"
    # A Windows test command, wrapped as make test wraps it, with the route decided once.
    got=$(TOLM_WINE_ROUTE=$route sh "$src/cmake/with-display.sh" "$work/build" \
        sh -c 'echo "ran${TOLM_I386_ROUTE:+ under $TOLM_I386_ROUTE}"' 2>&1 | tr ' ' _)
    [ "$got" = "$ran" ] || fail "the wrapped command printed '$got', expected '$ran'"
    TOLM_WINE_ROUTE=$route sh "$src/cmake/wine-route.sh" --report >"$work/report"
    grep -q -- "$(echo "$report" | tr _ ' ')" "$work/report" || {
        fail "the report does not say '$report':"
        cat "$work/report"
    }
    if [ "$kernel" = native ] && [ -s "$log" ]; then fail "unshare was called on a native kernel"; fi
done <<'T'
native    native   allowed    native  win32  ran            in_the_win32_build_under_Wine.
emulated  x86only  allowed    qemu    win32  ran_under_qemu emulated_by_qemu-i386
neither   x86only  forbidden  none    win64  ran            NOT_tested_on_this_machine:_this_kernel_cannot_run_32-bit_programs_(ia32_emulation_is_off),_and_this_environment_forbids_user_namespaces
T
rm -rf "$work"
[ $failures = 0 ]
