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
for f in tools/make-release tools/release-folder tools/sign-update tools/check-reproducible site/tolm/motto.html; do
    cp "$src/$f" "tree/$f"
done
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
fail() { printf 'FAIL: %s\n' "$*"; failures=$((failures + 1)); }
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
# Nothing that would break out of the C string it becomes, however a shell's echo would read it.
nl='
'
for p in "https://example.org/?x=1" 'https://h\cx' "https://h${nl}x" "https://h$nl" 'https://h/"x' \
    "https://h/x'y" 'https://h/a b' "https://h/a	b"; do
    refused "plain https address" --publisher "$p" --update-key key.pem --out out
done
refused "needs SIGN_CERT" $ok --sign-timestamp http://ts.example.org
refused "time-stamp server" $ok --sign-cert pub.pem --sign-key rsa.pem --sign-timestamp 'http://ts/$(touch pwned)'
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
# The default OUT, in a clone that has no build folder yet.
rm -rf tree/build
refused "configuring the release failed" --publisher https://example.org --update-key "$work/key.pem"
# A key made in the checkout, as a careless reading of the doc would: moved out, never committed.
cp key.pem tree/tolm-update-key.pem
refused "outside the checkout" $ok
grep -qi "commit or stash them" out.log && fail "the refusal suggests committing a key"
rm tree/tolm-update-key.pem && echo x >>tree/README.md
refused "not committed" $ok
git -C tree checkout -q README.md

# The layout, from a stand-in for the setup.
printf 'MZ stand-in setup' >setup.exe
if ! "$src/tools/release-folder" key.pem motto.txt out 1.0.40 setup.exe >out.log 2>&1; then
    fail "release-folder failed"; cat out.log
fi
[ "$(cd out && find . | LC_ALL=C sort | tr '\n' ' ')" = ". ./SHA256SUMS ./download ./download/SHA256SUMS \
./download/tolm-setup-1.0.40.exe ./download/tolm-update-pub.pem ./software ./software/tolmupdate.exe \
./software/tolmupdate.exe.sig ./tolm ./tolm/motto.html " ] || fail "layout: $(cd out && find .)"
cmp -s setup.exe out/software/tolmupdate.exe && cmp -s setup.exe out/download/tolm-setup-1.0.40.exe || fail "the setup changed"
cmp -s pub.pem out/download/tolm-update-pub.pem || fail "the published key is not the update key's public half"
grep -qx '<body>加油!|1.0.40</body>' out/tolm/motto.html || fail "page: $(cat out/tolm/motto.html)"
grep -q 'charset="utf-8"' out/tolm/motto.html || fail "the page declares no charset"
(cd out && sha256sum -c --quiet SHA256SUMS && [ "$(wc -l <SHA256SUMS)" = 6 ]) || fail "SHA256SUMS"
# What a downloader has: the download page's files alone, in a folder of their own.
mkdir page && cp out/download/* page/ && (cd page && sha256sum -c --quiet SHA256SUMS) || fail "download/SHA256SUMS"
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

# OUT taken by someone else while the folder is laid out (here: while the update is signed):
# an empty folder made meanwhile is never silently replaced, nor one that something was put in.
mkdir -p race/tools race/tests && ln -s "$src/tests/keys" race/tests/keys && cp "$src/tools/release-folder" race/tools/
printf '%s\n' '#!/bin/sh' 'case $RACE in mkdir) mkdir out 2>/dev/null && : >raced ;; plant) : >out/planted ;; esac' \
    ': >"$2.sig"' >race/tools/sign-update && chmod +x race/tools/sign-update
for race in mkdir plant; do
    rm -rf out raced
    RACE=$race race/tools/release-folder key.pem motto.txt out 1.0.40 setup.exe >out.log 2>&1
    rc=$?
    case $race in
    mkdir) [ ! -e raced ] || fail "OUT could be made by another while the folder was laid out" ;;
    plant) [ $rc != 0 ] && [ -e out/planted ] || fail "a folder filled meanwhile was replaced" ;;
    esac
    [ -z "$(find . -maxdepth 1 -name '.out.*')" ] || fail "race $race left a temporary folder"
done
rm -rf out

# KEEP=1 keeps the scratch folder of a failed reproducibility check, never a private key in it.
for keys in throwaway publisher; do
    rm -rf kept && mkdir kept
    [ $keys = publisher ] && set -- UPDATE_KEY=$work/key.pem SIGN_CERT=$work/pub.pem SIGN_KEY=$work/rsa.pem || set --
    env "$@" KEEP=1 TMPDIR=$work/kept PATH=$work/bin:$PATH tree/tools/check-reproducible >out.log 2>&1 &&
        fail "check-reproducible succeeded without cmake"
    [ -n "$(ls kept)" ] || fail "KEEP=1 kept nothing ($keys keys)"
    found=$(grep -rlE '^-----BEGIN ([A-Z]+ )?PRIVATE KEY-----' kept | grep -v /tests/keys/demo-)
    [ -z "$found" ] || fail "KEEP=1 kept a private key ($keys keys): $found"
done

# NSIS signs through a shell: the tool, the paths and the address reach the signer as they are.
if command -v makensis >/dev/null; then
    mkdir -p nsis/app/ui && for f in tolm.exe jw.exe ui/back.png ui/back_125.png \
        ui/back_150.png ui/back_175.png ui/back_200.png; do echo x >"nsis/app/$f"; done
    printf '#!/bin/sh\nprintf "[%%s]" "$@" >>"%s/nsis/args"\n' "$work" >nsis/sign && chmod +x nsis/sign
    (cd nsis && TOLM_SIGN_PROGRAM=$work/nsis/sign TOLM_SIGN_CERT='/c/$(touch pwned)`touch pwned`' \
        TOLM_SIGN_KEY="/k/'\"\\.pem" TOLM_SIGN_TIMESTAMP='http://ts/$HOME' makensis -V1 -WX -NOCD -INPUTCHARSET UTF8 \
        -DVERSION=1.0.40 -DVI_VERSION=1.0.0.40 -DARCH=x86-unicode -DAPP="$work/nsis/app" -DOUTFILE=tolm-setup.exe \
        -DSIGN "$src/installer/tolm.nsi") >out.log 2>&1 || { fail "makensis with signing"; cat out.log; }
    want="[/c/\$(touch pwned)\`touch pwned\`][/k/'\"\\.pem][http://ts/\$HOME]"
    [ "$(sed "s|\[/tmp/makensis[^]]*\]||" nsis/args)" = "$want$want[tolm-setup.exe]" ] ||
        fail "the signer was given: $(cat nsis/args)"
    [ -z "$(find . -name pwned)" ] || fail "a shell ran what a signing setting holds"
fi

[ $failures = 0 ] && cd / && rm -rf "$work"
[ $failures = 0 ]
