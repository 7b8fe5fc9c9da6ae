#!/bin/sh
# A release signed with a throwaway certificate made here: tolm.exe, jw.exe, the setup program
# and the uninstaller that the setup installs each carry an Authenticode signature that
# osslsigncode verifies against that certificate, and the programs still install.
# Usage: signed_release.sh SOURCE-DIR APP-DIR SCRATCH WINE-RUN NSI MAKENSIS-ARGS...
set -u
src=$1 app=$2 work=$3 wine_run=$4 nsi=$5; shift 5
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout key.pem -out cert.pem \
    -subj "/CN=TOLM test publisher" -addext "keyUsage=critical,digitalSignature" \
    -addext "extendedKeyUsage=codeSigning" 2>/dev/null || fail "no throwaway certificate"
verify() { osslsigncode verify -CAfile cert.pem -in "$1" >verify.log 2>&1; }

# The programs as the build signs them when a certificate is named.
cp -r "$app" app || exit 1
verify app/tolm.exe && fail "an unsigned program passed the check"
for p in tolm jw; do
    "$src/tools/sign-program" cert.pem key.pem - "app/$p.exe" || fail "signing $p.exe"
done
# A failed signing leaves the program as it was.
cp app/jw.exe jw-before.exe
"$src/tools/sign-program" cert.pem missing-key.pem - app/jw.exe 2>/dev/null && fail "signed with a missing key"
cmp -s app/jw.exe jw-before.exe || fail "a failed signing changed the program"

TOLM_SIGN_PROGRAM=$src/tools/sign-program TOLM_SIGN_CERT=$work/cert.pem TOLM_SIGN_KEY=$work/key.pem \
    TOLM_SIGN_TIMESTAMP=- "$@" -DAPP="$work/app" -DOUTFILE=tolm-signed.exe -DSIGN "$nsi" >makensis.log 2>&1 ||
    { cat makensis.log; fail "makensis with signing"; }

for f in app/tolm.exe app/jw.exe tolm-signed.exe; do
    verify "$f" || { cat verify.log; fail "$f: signature does not verify"; }
done
grep -q "TOLM test publisher" verify.log || fail "the setup's signer is not the certificate's subject"

# The uninstaller is written at install time from what the setup carries. The setup runs as a
# double click starts it, with the limited token: Wine 8 starts every program elevated, and an
# elevated setup refuses a folder its user can change.
inst_win="Z:$(echo "$work/inst" | tr / '\\')"
setup_win="Z:$(echo "$work/tolm-signed.exe" | tr / '\\')"
"$wine_run" "$TOLM_AS_LIMITED" "$setup_win" /S "/D=$inst_win" || fail "the signed setup did not install"
for f in inst/uninstall.exe inst/tolm.exe inst/jw.exe; do
    [ -f "$f" ] || fail "$f was not installed"
    verify "$f" || { cat verify.log; fail "$f: signature does not verify"; }
done
# The uninstaller likewise: elevated, it would refuse a folder its user can change.
"$wine_run" "$TOLM_AS_LIMITED" "Z:$(echo "$work/inst/uninstall.exe" | tr / '\\')" /S "_?=$inst_win" ||
    fail "the signed uninstaller did not run"
echo "signed release: tolm.exe, jw.exe, setup and uninstaller verified"
rm -rf "$work"
