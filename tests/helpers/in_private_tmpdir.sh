#!/bin/sh
# Runs a test program with TMPDIR inside a private (0700) folder, as a user
# whose own temporary folder is private would.
#   in_private_tmpdir.sh PROGRAM [ARGUMENTS...]
set -eu
private="$(mktemp -d)"
chmod 0700 "$private"
mkdir "$private/tmp"
status=0
TMPDIR="$private/tmp" "$@" || status=$?
rm -rf "$private"
exit "$status"
