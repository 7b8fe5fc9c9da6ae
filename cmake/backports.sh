#!/bin/sh
# Adds this Debian release's backports suite as a source of its own, taken from the machine's
# own Debian source entry (same address and key), so that no mirror is named here. Only the
# packages asked for with -t RELEASE-backports come from it. Prints the suite's name.
set -eu
. /etc/os-release
suite="${VERSION_CODENAME:?no release codename}-backports"
list=/etc/apt/sources.list.d/tolm-backports.sources
if [ ! -f "$list" ]; then
    # The first deb822 stanza (or one-line entry) that serves the release itself.
    entry=$(awk -v rel="$VERSION_CODENAME" '
        BEGIN { RS = ""; FS = "\n" }
        {
            uris = ""; suites = ""; signed = ""; types = ""
            for (i = 1; i <= NF; i++) {
                if ($i ~ /^URIs:/) { uris = $i; sub(/^URIs:[ \t]*/, "", uris) }
                if ($i ~ /^Suites:/) { suites = " " $i " "; sub(/^Suites:/, "", suites) }
                if ($i ~ /^Signed-By:/) { signed = $i; sub(/^Signed-By:[ \t]*/, "", signed) }
                if ($i ~ /^Types:/) { types = $i }
            }
            if (types ~ /deb( |$)/ && suites ~ (" " rel " ") && uris !~ /security/) {
                print uris "|" signed; exit
            }
        }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    if [ -z "$entry" ] && [ -f /etc/apt/sources.list ]; then
        entry=$(awk -v rel="$VERSION_CODENAME" '
            $1 == "deb" { u = ""; s = ""
                for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/) { if (u == "") u = $i; else if (s == "") s = $i }
                if (s == rel && u !~ /security/) { print u "|"; exit } }' /etc/apt/sources.list)
    fi
    [ -n "$entry" ] || { echo "backports.sh: no Debian source entry for $VERSION_CODENAME found" >&2; exit 1; }
    uris=${entry%%|*}
    signed=${entry#*|}
    {
        echo "Types: deb"
        echo "URIs: $uris"
        echo "Suites: $suite"
        echo "Components: main"
        [ -n "$signed" ] && echo "Signed-By: $signed"
    } >"$list"
    apt-get update -q >&2
fi
echo "$suite"
