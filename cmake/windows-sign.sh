#!/bin/sh
# Signs Windows programs and installers in place with Authenticode
# (osslsigncode), SHA-256, with a timestamp where a server is given:
#
#   windows-sign.sh CERT.pem KEY.pem TIMESTAMP_URL|"" FILE...
#
# `make windows SIGN_CERT=... SIGN_KEY=... [SIGN_TIMESTAMP=...]` runs it over
# the programs and then over the installer that holds them.
set -eu
cert=$1 key=$2 timestamp=$3
shift 3
[ -r "$cert" ] || { echo "windows-sign: cannot read the certificate \"$cert\" (SIGN_CERT)" >&2; exit 1; }
[ -r "$key" ] || { echo "windows-sign: cannot read the key \"$key\" (SIGN_KEY)" >&2; exit 1; }
for file in "$@"; do
  rm -f "$file.signed"
  # -ts: an RFC 3161 timestamp, which keeps the signature valid after the
  # certificate expires. An installer's signature covers its storage's
  # metadata too (-add-msi-dse), not only its streams.
  case $file in *.msi) dse=-add-msi-dse ;; *) dse= ;; esac
  osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n Tidwen -i https://tidwen.org \
    ${timestamp:+-ts "$timestamp"} $dse -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
  echo "signed $file"
done
