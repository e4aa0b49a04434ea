#!/usr/bin/env bash
# Generates the certificates of the loopback TLS server into DIR, once per
# build directory (no key of any real authority is ever involved, and none
# of these files is committed):
#
#   test_ca.pem                    a fresh test CA; the HTTPS tests trust it
#                                  only while they run (tests/app/web/tls_server.h)
#   localhost.pem, localhost.key   a server certificate for the name
#                                  "localhost" signed by that CA (the platform
#                                  refuses certificates for a bare IP address)
#   untrusted.pem, untrusted.key   the same name signed by a second CA that
#                                  nothing ever trusts
#
# Both CA keys are deleted as soon as they have signed, so nothing can mint
# another certificate that the test CA vouches for while a test trusts it.
#
# Usage: make_test_certificates.sh OPENSSL DIR
set -euo pipefail
openssl="$1"
dir="$2"
mkdir -p "$dir"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat >"$work/leaf.ext" <<'EXT'
subjectAltName=DNS:localhost
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
EXT

# MakeCa NAME SUBJECT: NAME.pem and NAME.key in the work folder.
MakeCa() {
    "$openssl" req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
        -keyout "$work/$1.key" -out "$work/$1.pem" -subj "$2" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}

# MakeLeaf CA OUT: OUT.pem and OUT.key in DIR, for localhost, signed by CA.
MakeLeaf() {
    "$openssl" req -newkey rsa:2048 -nodes -sha256 -keyout "$dir/$2.key" -out "$work/$2.csr" \
        -subj "/CN=localhost" 2>/dev/null
    "$openssl" x509 -req -sha256 -days 3650 -in "$work/$2.csr" -CA "$work/$1.pem" -CAkey "$work/$1.key" \
        -set_serial "0x$("$openssl" rand -hex 16)" -extfile "$work/leaf.ext" -out "$dir/$2.pem" 2>/dev/null
}

MakeCa ca "/O=SongLink tests/CN=SongLink loopback test CA"
MakeCa other "/O=SongLink tests/CN=SongLink untrusted test CA"
MakeLeaf ca localhost
MakeLeaf other untrusted
cp "$work/ca.pem" "$dir/test_ca.pem"
