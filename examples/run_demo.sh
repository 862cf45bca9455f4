#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the installer, copies the demo distribution to a fresh directory,
# installs it there with the default answer, and shows what was published.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DOSTREL_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target ostrel-install >/dev/null
root=$(mktemp -d /tmp/ostrel-demo.XXXXXX)
cp -R examples/demo-dist/. "$root"
echo "== ostrel-install $root (answering the question with Enter)"
echo | ./build/installer/ostrel-install "$root"
echo
echo "== $root/bin"
ls -l "$root/bin"
echo "== $root/bin/ost.ini"
cat "$root/bin/ost.ini"
echo "== $root/bin/start.boot"
cat "$root/bin/start.boot"
