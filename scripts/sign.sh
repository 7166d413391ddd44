#!/usr/bin/env bash
# Signs Windows programs and DLLs in place with osslsigncode (Authenticode,
# SHA-256), with the certificate that the environment names:
#
#   TARVEL_SIGN_PFX        the certificate and its private key, a PKCS#12 file (.pfx, .p12)
#   TARVEL_SIGN_PASSWORD   that file's password (may be empty)
#   TARVEL_SIGN_TIMESTAMP  optional: the URL of an RFC 3161 time-stamping server, so that
#                          the signatures stay valid after the certificate expires
#
#   bash scripts/sign.sh FILE...             signs each file (a signature it had is replaced)
#   bash scripts/sign.sh --verify CA FILE... checks each file's signature against the
#                                            certificates in CA (a PEM file)
#
# The package's install step and the setup program's build call it for every
# program, DLL, uninstaller and setup program when TARVEL_SIGN_PFX is set
# (cmake/package.cmake, tools/setup/tarvel.nsi).  Any failure fails the call:
# a package is never half signed without a word.
set -euo pipefail

if [ "${1:-}" = --verify ]; then
    ca=$2
    shift 2
    for file in "$@"; do
        if ! report=$(osslsigncode verify -CAfile "$ca" -in "$file" 2>&1); then
            printf '%s: signature not verified\n%s\n' "$file" "$report" >&2
            exit 1
        fi
    done
    exit 0
fi

: "${TARVEL_SIGN_PFX:?names no certificate}"
timestamp=()
[ -n "${TARVEL_SIGN_TIMESTAMP:-}" ] && timestamp=(-ts "$TARVEL_SIGN_TIMESTAMP")
for file in "$@"; do
    signed="$file.signing"
    # The password through a pipe, not on a command line that others can list.
    if ! osslsigncode sign -pkcs12 "$TARVEL_SIGN_PFX" -readpass <(printf '%s' "${TARVEL_SIGN_PASSWORD:-}") \
            -h sha256 -n Tarvel "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null; then
        rm -f "$signed"
        printf '%s: cannot sign\n' "$file" >&2
        exit 1
    fi
    mv -f "$signed" "$file"
done
