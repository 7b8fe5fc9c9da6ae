#!/bin/sh
# make release refuses what must not ship before it builds anything, and leaves no folder
# behind; the folder it lays out holds what the publisher uploads, the page and the update
# signature matching the setup. Nothing is built here: cmake is replaced by one that fails.
# Usage: make_release.sh SOURCE-DIR SCRATCH-DIR
set -u
src=$1 work=$2
git -C "$src" rev-parse --verify -q HEAD >/dev/null || { echo "not a git checkout: skipped"; exit 77; }
rm -rf "$work" && mkdir -p "$work/bin"
cd "$work" || exit 1
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out key.pem 2>/dev/null &&
    openssl pkey -in key.pem -pubout -out pub.pem &&
    openssl genpkey -algorithm RSA -out rsa.pem 2>/dev/null || exit 1
# A clean checkout, carrying the release scripts as they are in the source tree now.
git clone -q --shared "$src" tree || exit 1
for f in tools/make-release tools/release-folder tools/sign-update site/tolm/motto.html; do cp "$src/$f" "tree/$f"; done
git -C tree -c user.name=test -c user.email=test@localhost commit -qam "as in the source tree" >/dev/null
printf '#!/bin/sh\necho "cmake: no building in this test" >&2\nexit 1\n' >bin/cmake
printf '#!/bin/sh\nexit 1\n' >bin/sha256sum
chmod +x bin/*
printf '加油!\n' >motto.txt
printf '\357\273\277  Bar | none \r\n' >bar.txt
printf 'one\ntwo\n' >two-lines.txt
printf '<b>bold</b>\n' >markup.txt
printf '\377\376\n' >latin.txt
mkdir taken

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# refused "what the message names" make-release-arguments...
refused() {
    what=$1; shift
    if PATH=$work/bin:$PATH tree/tools/make-release "$@" >out.log 2>&1; then
        fail "accepted: $*"
    elif ! grep -q -- "$what" out.log; then
        fail "refused without naming '$what': $*"; cat out.log
    fi
    [ ! -e out ] && [ -z "$(find . -maxdepth 1 -name '.out.*')" ] || fail "left a folder behind: $*"
    rm -rf out .out.*
}
ok="--publisher https://example.org/ --update-key $work/key.pem --out $work/out"
refused "https://" --publisher http://example.org --update-key key.pem --out out
refused "https://" --publisher example.org --update-key key.pem --out out
refused "no publisher" --update-key key.pem --out out
refused "plain https address" --publisher "https://example.org/?x=1" --update-key key.pem --out out
refused "no update key:" --publisher https://example.org --out out
refused "no update key at" --publisher https://example.org --update-key missing.pem --out out
refused "demo update key" --publisher https://example.org --update-key "$src/tests/keys/demo-update-key.pem" --out out
refused "P-256 private key" --publisher https://example.org --update-key pub.pem --out out
refused "P-256 private key" --publisher https://example.org --update-key rsa.pem --out out
refused "both SIGN_CERT and SIGN_KEY" $ok --sign-cert pub.pem
refused "must not contain '|'" $ok --motto bar.txt
refused "must not contain '<' '>'" $ok --motto markup.txt
refused "one line" $ok --motto two-lines.txt
refused "not UTF-8" $ok --motto latin.txt
refused "exists already" --publisher https://example.org --update-key key.pem --out taken
# Inputs that pass every check (the default motto too) reach the build, which fails here.
refused "configuring the release failed" $ok
refused "configuring the release failed" $ok --motto motto.txt
echo x >tree/untracked.txt
refused "not committed" $ok
rm tree/untracked.txt && echo x >>tree/README.md
refused "not committed" $ok
git -C tree checkout -q README.md

# The layout, from a stand-in for the setup.
printf 'MZ stand-in setup' >setup.exe
if ! "$src/tools/release-folder" key.pem motto.txt out 1.0.40 setup.exe >out.log 2>&1; then
    fail "release-folder failed"; cat out.log
fi
[ "$(cd out && find . | LC_ALL=C sort | tr '\n' ' ')" = ". ./SHA256SUMS ./software ./software/tolmupdate.exe \
./software/tolmupdate.exe.sig ./tolm ./tolm-setup-1.0.40.exe ./tolm/motto.html " ] || fail "layout: $(cd out && find .)"
cmp -s setup.exe out/software/tolmupdate.exe && cmp -s setup.exe out/tolm-setup-1.0.40.exe || fail "the setup changed"
grep -qx '<body>加油!|1.0.40</body>' out/tolm/motto.html || fail "page: $(cat out/tolm/motto.html)"
grep -q 'charset="utf-8"' out/tolm/motto.html || fail "the page declares no charset"
(cd out && sha256sum -c --quiet SHA256SUMS && [ "$(wc -l <SHA256SUMS)" = 4 ]) || fail "SHA256SUMS"
# The raw r||s the widget reads, as the DER that openssl verifies.
python3 - out/software/tolmupdate.exe.sig sig.der <<'PY' || fail "the signature is not 64 bytes"
import sys
raw = open(sys.argv[1], "rb").read()
assert len(raw) == 64
def integer(b):
    b = b.lstrip(b"\0") or b"\0"
    b = b"\0" + b if b[0] & 0x80 else b
    return bytes([2, len(b)]) + b
body = integer(raw[:32]) + integer(raw[32:])
open(sys.argv[2], "wb").write(bytes([0x30, len(body)]) + body)
PY
openssl dgst -sha256 -verify pub.pem -signature sig.der out/software/tolmupdate.exe >/dev/null ||
    fail "the update signature does not verify with the public key"
rm -rf out
# A failure after the folder was begun leaves nothing either.
PATH=$work/bin:$PATH "$src/tools/release-folder" key.pem motto.txt out 1.0.40 setup.exe >/dev/null 2>&1 &&
    fail "release-folder succeeded without sha256sum"
[ ! -e out ] && [ -z "$(find . -maxdepth 1 -name '.out.*')" ] || fail "a failed layout left a folder behind"

[ $failures = 0 ] && cd / && rm -rf "$work"
[ $failures = 0 ]
