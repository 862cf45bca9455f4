#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# windows_console_test.sh WINE_RUN WINE_PREFIX INSTALLER
#
# Runs INSTALLER through WINE_RUN (cmake/wine-run.sh) with its streams on a
# terminal, in a tmux session of its own, from a directory named Müller that
# holds no manifest, and fails unless the terminal shows its message with
# the directory's name as typed: a console shows the characters of the
# system's code page that the message spells, whatever code page the
# console itself uses. Exits with 77 (skipped) when tmux is missing.
set -euo pipefail
wine_run=$1 prefix=$2 installer=$3
command -v tmux >/dev/null || { echo "tmux is not installed (Debian package tmux)"; exit 77; }
work=$(mktemp -d)
socket=$work/tmux
trap 'tmux -S "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/Müller"
cp "$installer" "$work/Müller/"
export LC_ALL=C.UTF-8
tmux -S "$socket" new-session -d -x 250 -y 20 \
    "'$wine_run' '$prefix' '$work/Müller/ostrel-install.exe' -s; echo \"ended with \$?\"; sleep 120"
for _ in $(seq 120); do
    screen=$(tmux -S "$socket" capture-pane -p -J)
    [[ $screen != *"ended with"* ]] || break
    sleep 1
done
expected="Cannot open init file Z:${work//\//\\}\\Müller\\Install.ini"
if [[ $screen != *"$expected"$'\n'"ended with 1"* ]]; then
    printf 'the terminal shows:\n%s\nnot:\n%s\nended with 1\n' "$screen" "$expected" >&2
    exit 1
fi
echo "the terminal shows: $expected"
