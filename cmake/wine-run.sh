#!/bin/sh
# SPDX-License-Identifier: MIT
# wine-run.sh PREFIX PROGRAM [ARGUMENT...]
#
# Runs the Windows program PROGRAM under Wine, for CTest and gtest discovery.
# Its standard input, output, error and exit status are the program's own:
# Wine's own messages are switched off, and what Wine's tools print goes to
# PREFIX.log. PREFIX is the Wine prefix, made on first use.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

# Runs a Wine tool with no standard streams of ours and without the lock.
quietly() {
    "$@" </dev/null >>"$prefix.log" 2>&1 9>&-
}

# Programs started at the same time take turns here, so that only the first
# makes the prefix or starts the session.
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -e "$prefix/.ostrel-ready" ]; then
        mkdir -p "$prefix"
        quietly wineserver -p30 || true
        # No Mono or Gecko: console programs do not need them.
        if ! WINEDLLOVERRIDES="mscoree,mshtml=" quietly wineboot -i; then
            echo "wine-run.sh: could not make the Wine prefix $prefix, see $prefix.log" >&2
            exit 125
        fi
        touch "$prefix/.ostrel-ready"
    elif wineserver -p30 </dev/null >/dev/null 2>&1 9>&-; then
        # A new session. Its first program starts Wine's background services,
        # which keep that program's standard streams open until the session
        # ends: start them here, away from the streams of the program.
        if ! quietly wineboot; then
            echo "wine-run.sh: could not start a Wine session in $prefix, see $prefix.log" >&2
            exit 125
        fi
    fi
) 9>"$prefix.lock"

# One session serves every program of a test run: a fresh one takes the
# better part of a second to start, so its wineserver stays up for 30 seconds
# after the last program ends.
exec wine "$@"
