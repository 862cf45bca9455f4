#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# reproducible_release.sh
#   Builds the Windows release archive twice, from two fresh clones of the
#   commit checked out here, in directories of different names and lengths,
#   one after the other, and fails unless both give the same executable,
#   archive and checksum, byte for byte.
# reproducible_release.sh ZIP SIGNATURE
#   Builds ostrel-install.exe from a fresh clone of the commit checked out
#   here, attaches the detached signature SIGNATURE (the release's
#   ostrel-install-<version>-win64.exe.p7s) to it, and fails unless that
#   gives the ostrel-install.exe in the signed release archive ZIP, byte
#   for byte. Where the osslsigncode version that the release records beside
#   SIGNATURE (ostrel-install-<version>-win64.signed-with.txt) is not this
#   machine's, it says so in one line before anything else, as the two may
#   write other bytes.
# Expects the packages .ci/run installs.
set -euo pipefail
if [ $# -ne 0 ] && [ $# -ne 2 ]; then
    echo "usage: $0 [ZIP SIGNATURE]" >&2
    exit 2
fi
if [ $# -eq 2 ]; then
    signature=$(realpath -e "$2")
    signed_with=${signature%.exe.p7s}.signed-with.txt
    if [ -f "$signed_with" ]; then
        ours=$(osslsigncode --version 2>/dev/null |
            sed -n '1s/^\(osslsigncode [^ ,]*\).*/\1/p' || true)
        if [ "$(cat "$signed_with")" != "$ours" ]; then
            echo "$(basename "$signed_with"): the release was signed with $(cat "$signed_with")," \
                "and this machine has ${ours:-no osslsigncode}, which may write other bytes" >&2
        fi
    fi
    zip=$(realpath -e "$1")
fi
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() { # directory target
    git clone -q "$PWD" "$work/$1"
    (
        cd "$work/$1"
        cmake --preset windows -DOSTREL_BUILD_TESTS=OFF >/dev/null
        cmake --build --preset windows --target "$2" -j "$(nproc)" >/dev/null
    )
}

if [ $# -eq 2 ]; then
    build rebuild release-executable
    # attach-signature also checks the signer against this machine's root
    # certificates, which need not hold the signer's: its status says
    # nothing about the bytes, which are compared below.
    osslsigncode attach-signature -sigin "$signature" \
        -in "$work/rebuild/build-windows/installer/windows/ostrel-install.exe" \
        -out "$work/ostrel-install.exe" >"$work/attach.log" 2>&1 || true
    mkdir "$work/published"
    (cd "$work/published" && cmake -E tar xf "$zip" ostrel-install.exe)
    if ! cmp "$work/ostrel-install.exe" "$work/published/ostrel-install.exe"; then
        cat "$work/attach.log" >&2
        echo "the rebuilt ostrel-install.exe with $2 attached is not the one in $1" >&2
        exit 1
    fi
    echo "rebuilt: ostrel-install.exe $(sha256sum <"$work/ostrel-install.exe" | cut -c1-16)..."
    exit 0
fi

artifacts=(installer/ostrel-install.exe installer/windows/ostrel-install.exe
    release/ostrel-install-*-win64.zip
    release/ostrel-install-*-win64.zip.sha256)
# The second build also runs in another time zone and with another umask.
build a release
(umask 002 && TZ=Pacific/Kiritimati build "second clone, in a longer path" release)
for artifact in "${artifacts[@]}"; do
    first=$(cd "$work/a/build-windows" && echo $artifact)
    cmp "$work/a/build-windows/$first" "$work/second clone, in a longer path/build-windows/$first"
    echo "reproducible: $first $(sha256sum <"$work/a/build-windows/$first" | cut -c1-16)..."
done
