#!/usr/bin/env bash
# Makes a self-signed certificate and key for a replication server's TLS link and prints the
# SHA-256 fingerprint that the clients pin ([Klient] TlsFingerprint):
#   make-certificate.sh <dir> [host name or address ...]
# writes <dir>/server.pem and <dir>/server.key (EC P-256, ten years, the names as subject
# alternative names; default: this machine's name and 127.0.0.1). Put them into the server's
# [Server] TlsCertificate and TlsKey. TRAMOLIN_CERT_EXPIRED=1 makes one that expired long ago,
# for trying out the refusal.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 <dir> [host ...]" >&2
  exit 2
fi
dir=$1
shift
names=("$@")
[ ${#names[@]} -gt 0 ] || names=("$(hostname)" 127.0.0.1)
mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

san=""
for name in "${names[@]}"; do
  if [[ $name =~ ^[0-9.]+$ || $name == *:* ]]; then san+="IP:$name,"; else san+="DNS:$name,"; fi
done
san=${san%,}

cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = self
[self]
database = $work/index
new_certs_dir = $work
serial = $work/serial
default_md = sha256
policy = any
copy_extensions = none
x509_extensions = server
[any]
commonName = supplied
[server]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $san
CNF
: >"$work/index"
echo 01 >"$work/serial"

openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$dir/server.key" \
  -out "$work/request.csr" -subj "/CN=${names[0]}" 2>/dev/null
if [ "${TRAMOLIN_CERT_EXPIRED:-0}" = 1 ]; then
  dates=(-startdate 20200101000000Z -enddate 20200102000000Z)
else
  dates=(-days 3650)
fi
openssl ca -batch -selfsign -config "$work/ca.cnf" -keyfile "$dir/server.key" \
  -in "$work/request.csr" -out "$dir/server.pem" -notext "${dates[@]}" 2>/dev/null
chmod 600 "$dir/server.key"
openssl x509 -in "$dir/server.pem" -noout -fingerprint -sha256 | sed 's/^.*=//'
