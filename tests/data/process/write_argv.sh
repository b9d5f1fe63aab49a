#!/bin/sh
# Writes every argument after the first into the file named by the first,
# each followed by a NUL byte, so a test can see exactly what arrived.
out=$1
shift
printf '%s\000' "$@" > "$out"
