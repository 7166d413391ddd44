#!/usr/bin/env bash
# Signs Windows programs and DLLs in place with osslsigncode (Authenticode,
# SHA-256), with the certificate that the environment names:
#
#   TARVEL_SIGN_PFX        the certificate and its private key, a PKCS#12 file (.pfx, .p12)
#   TARVEL_SIGN_PASSWORD   that file's password; empty or unset for a file without one
#   TARVEL_SIGN_TIMESTAMP  the URL of an RFC 3161 time-stamping server (your certificate's
#                          seller names one), so that the signatures stay valid after the
#                          certificate expires; "none" signs without a time stamp, for test
#                          certificates only.  Unset, nothing is signed: a signature without
#                          a time stamp dies with its certificate.
#
#   bash scripts/sign.sh FILE...             signs each file (a signature it had is replaced);
#                                            with no FILE, only checks the variables
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
case "${TARVEL_SIGN_TIMESTAMP:-}" in
    '')
        printf 'sign.sh: not signing without a time stamp: set TARVEL_SIGN_TIMESTAMP to the URL of an RFC 3161 time-stamping server, or to none for a test certificate\n' >&2
        exit 1 ;;
    none) timestamp=() ;;
    *) timestamp=(-ts "$TARVEL_SIGN_TIMESTAMP") ;;
esac
# The password through a pipe, not on a command line that others can list;
# osslsigncode reads no empty one from there, and a file without a password
# needs none.
password=()
[ -n "${TARVEL_SIGN_PASSWORD:-}" ] && password=(-readpass /dev/stdin)
for file in "$@"; do
    signed="$file.signing"
    if ! printf '%s' "${TARVEL_SIGN_PASSWORD:-}" | osslsigncode sign -pkcs12 "$TARVEL_SIGN_PFX" "${password[@]}" \
            -h sha256 -n Tarvel "${timestamp[@]}" -in "$file" -out "$signed" >/dev/null; then
        rm -f "$signed"
        printf '%s: cannot sign\n' "$file" >&2
        exit 1
    fi
    mv -f "$signed" "$file"
done
