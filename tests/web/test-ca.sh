#!/bin/sh
# Makes the certificates of one https test run in DIR, anew each time: a test CA (ca.der, to be
# trusted inside the test's Wine prefix only, never on this host), and the publisher's server
# certificates, each a PEM file with its key, as tools/publisher.py --tls DIR serves them:
#   trusted     localhost, from the test CA
#   otherhost   another host name, from the test CA
#   expired     localhost, from the test CA, valid only in 2020
#   selfsigned  localhost, signed by its own key
#   untrusted   localhost, from a second CA that nobody trusts
# Usage: test-ca.sh DIR
set -eu
dir=$1
rm -rf "$dir"
mkdir -p "$dir/work/new"
cd "$dir/work"
: >index.txt
echo 01 >serial
cat >ca.cnf <<'EOF'
[ca]
default_ca = test
[test]
dir = .
database = index.txt
new_certs_dir = new
serial = serial
default_md = sha256
policy = any
unique_subject = no
email_in_dn = no
[any]
commonName = supplied
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:${ENV::TOLM_CERT_HOST}
EOF

key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1" 2>/dev/null; }
# ca NAME "SUBJECT": a CA certificate for this run
ca() {
    key "$1.key"
    openssl req -x509 -new -key "$1.key" -subj "$2" -days 30 -sha256 \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" -out "$1.pem"
}
# server NAME CA HOST [START END]: a server certificate from CA for HOST, with the shared key
server() {
    dates=
    [ $# -gt 3 ] && dates="-startdate $4 -enddate $5"
    # shellcheck disable=SC2086 # the dates are words without blanks
    TOLM_CERT_HOST=$3 openssl ca -batch -config ca.cnf -cert "$2.pem" -keyfile "$2.key" -in server.csr \
        -subj "/CN=$3" -extensions server -notext $dates -days 30 -out "$1.crt" 2>/dev/null
    cat "$1.crt" server.key >"../$1.pem"
}

ca ca "/O=TOLM tests/CN=TOLM test CA"
ca other "/O=TOLM tests/CN=TOLM untrusted test CA"
key server.key
openssl req -new -key server.key -subj /CN=localhost -out server.csr
server trusted ca localhost
server otherhost ca tolm.example.org
server expired ca localhost 20200101000000Z 20201231000000Z
server untrusted other localhost
openssl req -x509 -key server.key -subj /CN=localhost -days 30 -sha256 \
    -addext "subjectAltName=DNS:localhost" -addext "extendedKeyUsage=serverAuth" -out selfsigned.crt
cat selfsigned.crt server.key >../selfsigned.pem
openssl x509 -in ca.pem -outform DER -out ../ca.der
cp ca.pem ../ca.pem
cd .. && rm -rf work
