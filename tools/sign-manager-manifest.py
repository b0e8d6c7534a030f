#!/usr/bin/python3
"""The maker's side of the update manifest signature.

A manager built with a public key (the CMake cache variable
QUILLOTONE_UPDATE_PUBLIC_KEY) offers an update only when
"plugin-manager/latest.json.sig" next to the manifest is the signature of the
manifest's exact bytes: RSASSA-PKCS1-v1_5 with SHA-256, made with the
matching private key. Publish the manifest and its signature together, and
never change a byte of the manifest after signing it.

usage: sign-manager-manifest.py keygen KEY.pem [PUBLIC.txt]
           writes a new 3072-bit RSA private key (readable by its owner only)
           and prints its public key (and writes it to PUBLIC.txt)
       sign-manager-manifest.py public-key KEY.pem
           prints the public key in the form the build takes:
           cmake -DQUILLOTONE_UPDATE_PUBLIC_KEY=<that line> ...
       sign-manager-manifest.py sign KEY.pem MANIFEST [SIGNATURE]
           writes the detached signature (default MANIFEST.sig) and checks it
           before it finishes

Uses the openssl command-line tool. Keep the private key off the content
server: whoever holds it decides what every manager runs.
"""
import os
import re
import subprocess
import sys
import tempfile


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, check=True, capture_output=True).stdout


def public_key(key):
    """'exponent,modulus' in hexadecimal, the manager's key text."""
    text = openssl("rsa", "-in", key, "-noout", "-text").decode()
    exponent = int(re.search(r"publicExponent: (\d+)", text).group(1))
    modulus = openssl("rsa", "-in", key, "-noout", "-modulus").decode().strip().split("=", 1)[1]
    return "%x,%s" % (exponent, modulus.lower())


def keygen(key):
    if os.path.exists(key):
        sys.exit("%s exists; not overwriting a key" % key)
    old = os.umask(0o077)
    try:
        openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:3072", "-out", key)
    finally:
        os.umask(old)
    return public_key(key)


def sign(key, manifest, signature=None):
    signature = signature or manifest + ".sig"
    openssl("dgst", "-sha256", "-sign", key, "-out", signature, manifest)
    with tempfile.TemporaryDirectory() as work:
        pub = os.path.join(work, "public.pem")
        openssl("pkey", "-in", key, "-pubout", "-out", pub)
        openssl("dgst", "-sha256", "-verify", pub, "-signature", signature, manifest)
    return signature


def main(argv):
    if len(argv) in (3, 4) and argv[1] == "keygen":
        key = keygen(argv[2])
        if len(argv) == 4:
            with open(argv[3], "w") as f:
                f.write(key + "\n")
        print(key)
    elif len(argv) == 3 and argv[1] == "public-key":
        print(public_key(argv[2]))
    elif len(argv) in (4, 5) and argv[1] == "sign":
        print(sign(argv[2], argv[3], argv[4] if len(argv) == 5 else None))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
