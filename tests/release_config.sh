#!/bin/sh
# Configuring a release refuses the demo update key and any http:// address, and accepts a
# publisher's own key with https addresses. Runs the project's rules on their own (cmake -P).
# Usage: release_config.sh SOURCE-DIR SCRATCH-DIR
set -u
src=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$work/key.pem" 2>/dev/null &&
    openssl pkey -in "$work/key.pem" -pubout -out "$work/pub.pem" || exit 1
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out "$work/k384.pem" 2>/dev/null &&
    openssl pkey -in "$work/k384.pem" -pubout -out "$work/p384.pem" || exit 1
cp "$src/tests/keys/demo-update-pub.pem" "$work/demo-copy.pem"

failures=0
# expect (ok|refused) "what it names" cmake-arguments...
expect() {
    want=$1 what=$2; shift 2
    if cmake "$@" -P "$src/cmake/update_key.cmake" >"$work/out" 2>&1; then
        got=ok
    else
        got=refused
    fi
    if [ "$got" != "$want" ]; then
        printf "FAIL: %s was %s, expected %s\n" "$*" "$got" "$want"; failures=$((failures + 1))
    elif [ "$want" = refused ] && ! grep -q "$what" "$work/out"; then
        printf "FAIL: %s refused without naming %s:\n" "$*" "$what"; cat "$work/out"; failures=$((failures + 1))
    fi
}
https=-DTOLM_PUBLISHER=https://example.org
expect refused "demo update key" -DTOLM_RELEASE=ON $https
expect refused "demo update key" -DTOLM_RELEASE=ON $https -DTOLM_UPDATE_PUBKEY="$work/demo-copy.pem"
expect refused "TOLM_PUBLISHER" -DTOLM_RELEASE=ON -DTOLM_PUBLISHER=http://example.org -DTOLM_UPDATE_PUBKEY="$work/pub.pem"
expect refused "TOLM_OTHER_URL" -DTOLM_RELEASE=ON $https -DTOLM_UPDATE_PUBKEY="$work/pub.pem" -DTOLM_OTHER_URL=HTTP://x.org
expect refused "P-256" $https -DTOLM_UPDATE_PUBKEY="$work/p384.pem"
expect refused "PUBLIC KEY" $https -DTOLM_UPDATE_PUBKEY="$work/key.pem"
# The publisher becomes a C string: nothing that would end it or escape from it, in any build.
nl='
'
for p in 'https://h\c' "https://h${nl}x" 'https://h/"x' 'https://h/a b' 'https://h/?q=1'; do
    expect refused "plain http(s) address" "-DTOLM_PUBLISHER=$p"
done
expect ok "" -DTOLM_RELEASE=ON $https -DTOLM_UPDATE_PUBKEY="$work/pub.pem" -DTOLM_OTHER_URL=https://x.org
# The time-stamp server is asked by the signing tool, not by the programs.
expect ok "" -DTOLM_RELEASE=ON $https -DTOLM_UPDATE_PUBKEY="$work/pub.pem" -DTOLM_SIGN_TIMESTAMP=http://ts.example.org
expect ok "" -DTOLM_PUBLISHER=http://127.0.0.1:8734
rm -rf "$work"
[ $failures = 0 ]
