#!/usr/bin/env bash
# Runs the Windows TLS tests against real servers on this side of Wine: tls_servers.sh WINE
# TRUST_TOOL TESTS. Makes a CA, an intermediate authority and the servers' certificates, trusts the CA
# in the Wine prefix's user roots, starts the servers and runs the tests with their ports.
set -euo pipefail
wine=$1 trust=$2 tests=$3
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
cd "$dir"

# RSA: Wine's check of ECDSA signatures now and then calls a good one bad.
key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null; }
# sign NAME ISSUER SUBJECT EXTENSIONS
sign() {
    openssl req -new -key "$1.key" -subj "/CN=$3" -out "$1.csr"
    printf '%s\n' "$4" >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days 2 -sha256 \
        -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
leaf='basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1'

key ca
openssl req -x509 -new -key ca.key -subj "/CN=Turnpost Test CA $RANDOM" -days 2 -sha256 \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" -out ca.pem
key trusted
sign trusted ca localhost "$leaf"
key selfsigned
openssl req -x509 -new -key selfsigned.key -subj "/CN=localhost" -days 2 -sha256 \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" -addext "extendedKeyUsage=serverAuth" -out selfsigned.pem
key intermediate
sign intermediate ca "Turnpost Test Intermediate" 'basicConstraints=critical,CA:TRUE
keyUsage=critical,keyCertSign,cRLSign'
key partial
sign partial intermediate localhost "$leaf"

python3 "$here/tls_servers.py" "$dir" "$dir/ports" &
server=$!
for _ in $(seq 100); do
    [ -f ports ] && break
    sleep 0.1
done
[ -f ports ] || { echo "tls_servers.sh: the servers did not start" >&2; exit 1; }

# Wine starts in this folder, as Z:\ and the path.
"$wine" "$trust" ca.pem
TURNPOST_TLS_PORTS=$(cat ports) "$wine" "$tests" --gtest_filter='WindowsTls*'
