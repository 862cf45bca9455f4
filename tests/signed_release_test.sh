#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# signed_release_test.sh BUILD_DIR ZIP RESOURCES_TEST WINE_RUN WINE_PREFIX
#
# Signs the release of the Windows build BUILD_DIR (target release-signed,
# archive ZIP) with a code-signing certificate of a throwaway root made
# here, and fails unless: the archive's README.txt tells how to check the
# signature, and it holds LICENSE.txt; the signature verifies against that root and
# carries the commit's time; the release records this osslsigncode's
# version; a second signing gives the same files; a fresh clone, in another
# directory and time zone, rebuilds the signed executable from the detached
# signature (tests/reproducible_release.sh), saying first where the release
# names another osslsigncode than the rebuild's, and only there; the signed
# executable still installs the demo distribution silently under Wine, and
# the resources test RESOURCES_TEST still reads its version information; the
# step leaves no temporary file; and it refuses, leaving no signed file, when
# its variables are unset, when the password file is missing, and when the
# certificate may not sign code.
set -euo pipefail
build=$1 zip=$2 resources_test=$3 wine_run=$4 wine_prefix=$5
signature=${zip%.zip}.exe.p7s
signed_with=${zip%.zip}.signed-with.txt
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
    echo "$1" >&2
    exit 1
}

# The root, a certificate it issued for code signing, and one for web
# servers alone, each with its key in a PKCS#12 file.
openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 2 \
    -subj "/CN=Ostrel throwaway test root" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign 2>/dev/null
echo "a throwaway password" >password
serial=1
issue() { # name extended-key-usage
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
    printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$2" >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA root.pem -CAkey root.key -set_serial $((serial++)) \
        -days 2 -extfile "$1.ext" -out "$1.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -passout file:password -out "$1.p12"
}
issue signer codeSigning
issue web-server serverAuth

# The step's temporary directory goes here, to be seen empty afterwards.
mkdir step-tmp
sign() { # env's -u options and assignments
    env -u OSTREL_SIGN_TIMESTAMP_URL "$@" TMPDIR="$work/step-tmp" \
        cmake --build "$build" --target release-signed >"$work/step.log" 2>&1
}
sign_with() { # pkcs12 password-file
    sign OSTREL_SIGN_PKCS12="$1" OSTREL_SIGN_PASSWORD_FILE="$2"
}
outputs=("$zip" "$zip.sha256" "$signature" "$signed_with")

sign_with "$work/signer.p12" "$work/password" || { cat step.log; fail "the signing failed"; }
[ -z "$(ls -A step-tmp)" ] || fail "the signing left $(ls -A step-tmp) in its temporary directory"
written=$(ls "$(dirname "$zip")")
[ "$written" = "$(printf '%s\n' "${outputs[@]##*/}" | sort)" ] ||
    fail "the signing wrote $written, not the archive, its checksum, its signature and its record"
ours=$(osslsigncode --version | head -n 1)
[ "$(cat "$signed_with")" = "${ours%%,*}" ] ||
    fail "the release records $(cat "$signed_with"), not the ${ours%%,*} that signed it"
mkdir first unpacked
cp "${outputs[@]}" first/
(cd unpacked && cmake -E tar xf "$zip")
grep -q "Get-AuthenticodeSignature" unpacked/README.txt ||
    fail "the signed release's README.txt does not tell how to check its signature"
cmp unpacked/LICENSE.txt "$build/installer/windows/LICENSE.txt" ||
    fail "the signed release does not hold the license"

osslsigncode verify -CAfile root.pem -in unpacked/ostrel-install.exe >verify.log 2>&1 ||
    { cat verify.log; fail "the signed ostrel-install.exe does not verify against the test root"; }
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct)}
grep -qxF $'\t'"Signing time: $(LC_ALL=C TZ=UTC date -d "@$epoch" '+%b %e %H:%M:%S %Y GMT')" verify.log ||
    { grep "Signing time" verify.log; fail "the signing time is not the commit's, $epoch"; }

sign_with "$work/signer.p12" "$work/password" || { cat step.log; fail "the second signing failed"; }
for output in "${outputs[@]}"; do
    cmp "first/${output##*/}" "$output"
done

# The rebuild starts from the commit, so this build must be the commit's.
git -C "$source_dir" diff --quiet HEAD -- ||
    fail "the sources differ from their commit, which the rebuild builds: commit them first"
TZ=America/St_Johns bash "$source_dir/tests/reproducible_release.sh" "$zip" "$signature" \
    2>&1 | tee rebuild.log
! grep -q "signed with" rebuild.log || fail "the rebuild with the signer's osslsigncode warned"
# A release that names another version: said in one line, before the archive
# (absent here) is even looked for.
mkdir other-signer
cp "$signature" other-signer/
echo "osslsigncode 0.9" >"other-signer/${signed_with##*/}"
bash "$source_dir/tests/reproducible_release.sh" absent.zip "other-signer/${signature##*/}" \
    >rebuild.log 2>&1 && fail "the rebuild found an absent archive"
[ "$(grep -c "signed with osslsigncode 0.9, and this machine has ${ours%%,*}" rebuild.log)" = 1 ] ||
    { cat rebuild.log; fail "the rebuild did not say once that the signer's osslsigncode differs"; }

# Without a root argument the installer works in its own directory.
cp -R "$source_dir/examples/demo-dist" dist
cp unpacked/ostrel-install.exe dist/
"$wine_run" "$wine_prefix" "$work/dist/ostrel-install.exe" -s </dev/null ||
    fail "the signed ostrel-install.exe -s failed under Wine"
cmp dist/bin/start.boot dist/releases/R5A/start_bare.boot
cmp dist/bin/ost.exe dist/ostcore-5.2/bin/ost.exe
grep -q '^Bindir=' dist/bin/ost.ini || fail "bin/ost.ini holds no Bindir"

OSTREL_TEST_INSTALLER=$work/unpacked/ostrel-install.exe \
    "$wine_run" "$wine_prefix" "$resources_test" >resources.log 2>&1 ||
    { cat resources.log; fail "Windows reads the signed ostrel-install.exe's resources otherwise"; }
# The resources test must be judging the file named to it, not the build's.
if OSTREL_TEST_INSTALLER=$work/dist/bin/ost.ini "$wine_run" "$wine_prefix" "$resources_test" \
        >/dev/null 2>&1; then
    fail "the resources test passes on a file that has no resources"
fi

refused() { # line, then env's -u options and assignments
    local line=$1
    shift
    touch "${outputs[@]}"
    if sign "$@"; then
        fail "the signing went on, where it should say: $line"
    fi
    grep -qxF "$line" step.log || { cat step.log; fail "the signing did not say: $line"; }
    for output in "${outputs[@]}"; do
        [ ! -e "$output" ] || fail "a refused signing left $output"
    done
}
refused "release-signed: set OSTREL_SIGN_PKCS12 to the PKCS#12 file of the code-signing certificate and OSTREL_SIGN_PASSWORD_FILE to the file that holds its password" \
    -u OSTREL_SIGN_PKCS12 -u OSTREL_SIGN_PASSWORD_FILE
refused "release-signed: OSTREL_SIGN_PASSWORD_FILE names $work/absent, which is not a readable file" \
    OSTREL_SIGN_PKCS12="$work/signer.p12" OSTREL_SIGN_PASSWORD_FILE="$work/absent"
refused "release-signed: the certificate in $work/web-server.p12 may not sign code: its extended key usage lacks codeSigning" \
    OSTREL_SIGN_PKCS12="$work/web-server.p12" OSTREL_SIGN_PASSWORD_FILE="$work/password"
echo "signed, verified, signed again alike, rebuilt, installed and refused as it should"
