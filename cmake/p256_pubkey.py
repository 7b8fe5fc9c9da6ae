#!/usr/bin/env python3
"""Prints the raw X||Y (128 hex digits) of a P-256 public key given as a PEM SubjectPublicKeyInfo.

Run by CMake at configure time, so that the build itself needs no cryptography tool. Anything
but a P-256 key with an uncompressed point is refused with a message and exit status 1.
"""
import base64
import sys

# SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING (0 unused bits, 0x04 ...) }
PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: p256_pubkey.py PUBLIC-KEY.pem")
    try:
        with open(sys.argv[1], encoding="ascii") as f:
            text = f.read()
    except (OSError, UnicodeDecodeError) as e:
        sys.exit(f"cannot read the public key {sys.argv[1]}: {e}")
    begin, end = "-----BEGIN PUBLIC KEY-----", "-----END PUBLIC KEY-----"
    if text.count(begin) != 1 or text.count(end) != 1 or text.index(begin) > text.index(end):
        sys.exit(f"{sys.argv[1]}: not one PEM public key (BEGIN PUBLIC KEY ... END PUBLIC KEY)")
    body = text[text.index(begin) + len(begin):text.index(end)]
    try:
        der = base64.b64decode("".join(body.split()), validate=True)
    except ValueError as e:
        sys.exit(f"{sys.argv[1]}: the key is not valid base64: {e}")
    if len(der) != len(PREFIX) + 65 or not der.startswith(PREFIX) or der[len(PREFIX)] != 0x04:
        sys.exit(f"{sys.argv[1]}: not an ECDSA P-256 (prime256v1) public key with an uncompressed point")
    print(der[len(PREFIX) + 1:].hex())


if __name__ == "__main__":
    main()
