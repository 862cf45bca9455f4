#!/usr/bin/env bash
# Builds the Windows release archive twice, from two fresh clones of the
# commit checked out here, in directories of different names and lengths,
# one after the other, and fails unless both give the same executable,
# archive and checksum, byte for byte. Expects the packages .ci/run
# installs.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts=(installer/ostrel-install.exe release/ostrel-install-*-win64.zip
    release/ostrel-install-*-win64.zip.sha256)

# The second build also runs in another time zone and with another umask.
build_release() {
    git clone -q "$PWD" "$work/$1"
    (
        cd "$work/$1"
        cmake --preset windows -DOSTREL_BUILD_TESTS=OFF >/dev/null
        cmake --build --preset windows --target release -j "$(nproc)" >/dev/null
    )
}
build_release a
(umask 002 && TZ=Pacific/Kiritimati build_release "second clone, in a longer path")
for artifact in "${artifacts[@]}"; do
    first=$(cd "$work/a/build-windows" && echo $artifact)
    cmp "$work/a/build-windows/$first" "$work/second clone, in a longer path/build-windows/$first"
    echo "reproducible: $first $(sha256sum <"$work/a/build-windows/$first" | cut -c1-16)..."
done
