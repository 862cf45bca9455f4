#!/bin/sh
# SPDX-License-Identifier: MIT
# The copies a silent ostrel-install run makes, made with cp and then put on
# disk with sync, as the installer puts each file on disk before it counts it
# installed: the yardstick the benchmark times the installer against. Usage:
# copy_with_cp.sh ROOT (a distribution with VSN 5.2 and SYSTEM_VSN R5A, as the
# benchmark makes it).
set -e
root=$1
runtime_bin="$root/ostcore-5.2/bin"
release="$root/releases/R5A"
publish="$root/bin"
mkdir -p "$publish"
for executable in ost.exe ostwin.exe ostc.exe scrutor.exe sigmer.exe ostx.exe qa_drive.exe; do
    cp "$runtime_bin/$executable" "$publish/$executable"
done
cp "$publish/qa_drive.exe" "$publish/drive_qa.exe"
cp "$release/start_bare.boot" "$publish/start_bare.boot"
cp "$release/start_mext.boot" "$publish/start_mext.boot"
cp "$publish/start_bare.boot" "$publish/start.boot"
printf '[ostrel]\nBindir=%s\\\\ostcore-5.2\\\\bin\nProgname=ost\nRootdir=%s\n' "$root" "$root" \
    >"$runtime_bin/ost.ini"
cp "$runtime_bin/ost.ini" "$publish/ost.ini"
sync
