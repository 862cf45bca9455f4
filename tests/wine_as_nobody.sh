#!/bin/sh
# SPDX-License-Identifier: MIT
# wine_as_nobody.sh WINE_RUN DIRECTORY PROGRAM [ARGUMENT...]
#
# Runs the Windows program PROGRAM through WINE_RUN (cmake/wine-run.sh) as
# the user nobody, with a Wine prefix of nobody's own in DIRECTORY. Wine
# keeps the read-only attribute of a file as its Unix write permission,
# which binds every user but root: this lets a test run as root still see
# Windows refuse to write a read-only file. It also leaves, in
# DIRECTORY/locked, a directory that nobody may not add to holding a file
# settings.ini that nobody may write, named to the program by
# OSTREL_LOCKED_DIRECTORY; and in DIRECTORY/sticky, a sticky directory that
# anyone may add to holding such a file of root's, which nobody may write
# but not replace, named by OSTREL_STICKY_DIRECTORY. Exits with 77 (skipped) when it
# is not run as root, when setpriv is missing, or when nobody cannot read
# PROGRAM.
set -eu
wine_run=$1
directory=$2
shift 2
if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
    echo "not root, or no setpriv: the read-only cases run as this user already"
    exit 77
fi
as_nobody() {
    setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$directory" "$@"
}
if ! as_nobody test -r "$1"; then
    echo "the user nobody cannot read $1"
    exit 77
fi
mkdir -p "$directory"
chown nobody:nogroup "$directory"
rm -rf "$directory/locked"
mkdir -m 755 "$directory/locked"
printf '[old]\r\n' >"$directory/locked/settings.ini"
chmod 666 "$directory/locked/settings.ini"
rm -rf "$directory/sticky"
mkdir -m 1777 "$directory/sticky"
printf '[old]\r\n' >"$directory/sticky/settings.ini"
chmod 666 "$directory/sticky/settings.ini"
OSTREL_LOCKED_DIRECTORY=$directory/locked OSTREL_STICKY_DIRECTORY=$directory/sticky as_nobody "$wine_run" "$directory/wine" "$@"
