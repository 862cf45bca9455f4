#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# sign-release.sh CMAKE EXECUTABLE README LICENSE SOURCE_DIR ZIP DESCRIPTION
#
# Signs EXECUTABLE with Authenticode (SHA-256, DESCRIPTION as the program's
# name) using the certificate and key of the PKCS#12 file named by
# OSTREL_SIGN_PKCS12, whose password is read from the file named by
# OSTREL_SIGN_PASSWORD_FILE, and has an RFC 3161 server time-stamp it when
# OSTREL_SIGN_TIMESTAMP_URL is set. Then packs the signed executable,
# README and LICENSE into ZIP with release.cmake, and writes beside it the detached
# signature, ZIP's name with .zip turned into .exe.p7s, and the version of
# osslsigncode that made it, in ZIP's name with .zip turned into
# .signed-with.txt: another version writes other signature bytes.
#
# The signing time is the zip's: the commit's, or SOURCE_DATE_EPOCH. So two
# signings of one commit with one key give the same bytes, unless a
# time-stamp is added, and anyone who rebuilds EXECUTABLE and attaches the
# signature gets the signed one back. The password is never put on a command
# line, and nothing is written but ZIP, its .sha256, the signature and the
# record of osslsigncode's version.
set -euo pipefail
cmake=$1 executable=$2 readme=$3 license=$4 source_dir=$5 zip=$6 description=$7
signature=${zip%.zip}.exe.p7s
signed_with=${zip%.zip}.signed-with.txt

fail() {
    echo "release-signed: $1" >&2
    exit 1
}

# A signing that stops leaves nothing under the signed names, not even the
# files of an earlier one.
rm -f "$zip" "$zip.sha256" "$signature" "$signed_with"

if [ -z "${OSTREL_SIGN_PKCS12:-}" ] || [ -z "${OSTREL_SIGN_PASSWORD_FILE:-}" ]; then
    fail "set OSTREL_SIGN_PKCS12 to the PKCS#12 file of the code-signing certificate and OSTREL_SIGN_PASSWORD_FILE to the file that holds its password"
fi
for variable in OSTREL_SIGN_PKCS12 OSTREL_SIGN_PASSWORD_FILE; do
    if [ ! -f "${!variable}" ] || [ ! -r "${!variable}" ]; then
        fail "$variable names ${!variable}, which is not a readable file"
    fi
done
for program in osslsigncode openssl; do
    command -v "$program" >/dev/null || fail "signing needs $program (Debian package $program)"
done

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    epoch=$SOURCE_DATE_EPOCH
elif ! epoch=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null) || [ -z "$epoch" ]; then
    fail "no commit time in $source_dir: set SOURCE_DATE_EPOCH"
fi

# osslsigncode signs with a certificate of any usage, but Windows accepts
# the signature only from one that may sign code. -legacy reads the older
# encryptions of PKCS#12 files too, as osslsigncode does.
if ! certificate=$(openssl pkcs12 -legacy -in "$OSTREL_SIGN_PKCS12" -nokeys -clcerts \
        -passin "file:$OSTREL_SIGN_PASSWORD_FILE" 2>/dev/null); then
    fail "cannot open $OSTREL_SIGN_PKCS12 with the password in $OSTREL_SIGN_PASSWORD_FILE"
fi
usage=$(openssl x509 -noout -ext extendedKeyUsage <<<"$certificate" 2>/dev/null || true)
if [[ $usage != *"Code Signing"* ]]; then
    fail "the certificate in $OSTREL_SIGN_PKCS12 may not sign code: its extended key usage lacks codeSigning"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
timestamp=()
if [ -n "${OSTREL_SIGN_TIMESTAMP_URL:-}" ]; then
    timestamp=(-ts "$OSTREL_SIGN_TIMESTAMP_URL")
fi
if ! osslsigncode sign -pkcs12 "$OSTREL_SIGN_PKCS12" -readpass "$OSTREL_SIGN_PASSWORD_FILE" \
        -h sha256 -n "$description" -time "$epoch" "${timestamp[@]}" \
        -in "$executable" -out "$work/ostrel-install.exe" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    fail "osslsigncode could not sign $executable"
fi
osslsigncode extract-signature -in "$work/ostrel-install.exe" -out "$work/signature.p7s" \
    >/dev/null
SOURCE_DATE_EPOCH=$epoch "$cmake" -DEXECUTABLE="$work/ostrel-install.exe" -DREADME="$readme" \
    -DLICENSE="$license" -DSOURCE_DIR="$source_dir" -DZIP="$zip" -P "$(dirname "$0")/release.cmake"
osslsigncode --version | sed -n '1s/^\(osslsigncode [^ ,]*\).*/\1/p' >"$work/signed-with.txt"
mv "$work/signature.p7s" "$signature"
mv "$work/signed-with.txt" "$signed_with"
