#!/usr/bin/env bash
# The archive packer over a table of member sizes: each archive is read field
# by field with CRCs computed by zlib, and bsdtar and unrar-free must extract
# the member byte for byte (neither checks a stored member's CRC). Then the
# refusals: nothing is written when the input or the name is bad.
# Usage: rarpack-table.sh PACKER
set -u
packer=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/extract-checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name, member size: empty, one byte, both sides of 64 KiB, past it.
while read -r case size; do
  in="$work/$case.bin"
  python3 -c "import sys; sys.stdout.buffer.write(bytes((i * 7 + i // 251) % 256 for i in range($size)))" > "$in"
  "$packer" "$work/$case.rar" ostrivan.exe "$in"
  check "$case: packer succeeds" [ $? -eq 0 ]
  check_archive "$case" "$work/$case.rar" "$in" "$work/$case"
done <<'CASES'
empty 0
one-byte 1
below-64k 65535
at-64k 65536
over-64k 65537
large 1000003
CASES

# Refusals: exit code, message, and no archive left behind.
refuse() {  # case, expected exit code, then the packer's arguments
  local case=$1 code=$2; shift 2
  "$packer" "$@" 2>"$work/err"
  local rc=$?
  check "$case: exit code $code" [ "$rc" -eq "$code" ]
  check "$case: says why" [ -s "$work/err" ]
  check "$case: writes nothing" [ ! -e "$1" -a ! -e "$1.tmp" ]
}
printf 'x' > "$work/x"
refuse "missing input" 1 "$work/r1.rar" ostrivan.exe "$work/none"
refuse "empty name" 2 "$work/r2.rar" "" "$work/x"
refuse "non-ASCII name" 2 "$work/r3.rar" "$(printf 'ostri\xe4van.exe')" "$work/x"
refuse "control character in name" 2 "$work/r4.rar" "$(printf 'a\tb')" "$work/x"
refuse "missing output folder" 1 "$work/none/r5.rar" ostrivan.exe "$work/x"
refuse "too few arguments" 2 "$work/r6.rar" ostrivan.exe

finish
