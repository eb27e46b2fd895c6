#!/usr/bin/env bash
# Runs a test program as an ordinary user. Tests of unwritable files and folders skip under root
# (root writes anyway), so when run as root this drops to uid/gid 65534 first. Exit 77 = skipped:
# setpriv is missing or that user cannot reach the program.
set -u
[ "$(id -u)" -ne 0 ] && exec "$@"
command -v setpriv >/dev/null 2>&1 || exit 77
drop=(setpriv --reuid=65534 --regid=65534 --clear-groups)
"${drop[@]}" test -x "$1" || exit 77
work=$(mktemp -d) || exit 77
chmod 0777 "$work"
trap 'rm -rf "$work"' EXIT
cd "$work" && HOME="$work" TMPDIR="$work" "${drop[@]}" "$@"
