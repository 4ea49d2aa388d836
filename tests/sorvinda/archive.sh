#!/usr/bin/env bash
# The carried archive through the download manager's own command: the driver
# saves it under Wine ("android system.img修改工具" with the save dialog
# answered), the saved bytes equal the archive the build packed, and bsdtar
# and unrar-free extract an ostrivan.exe identical to the built one.
# Usage: archive.sh DRIVER_EXE ARCHIVE PROGRAM
set -u
driver=$1 archive=$2 program=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
source "$here/../tools/extract-checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The driver runs from a copy of its own, so its settings files stay there.
cp "$driver" "$work/sorvinda-driver.exe"
printf '\r\n' >"$work/gitpath.dat"
out=$("$here/../../scripts/wine-exec.sh" "$work/sorvinda-driver.exe" save-archive \
  "$(winpath "$work/saved.rar")" 2>&1)
status=$?
echo "$out"
check "the driver saves the archive" [ $status -eq 0 ]
check "no message and no error" [ -z "$(printf '%s\n' "$out" | grep -v '^TIME')" ]
check "saved bytes equal the packed archive" cmp "$archive" "$work/saved.rar"
check_archive "saved archive" "$work/saved.rar" "$program" "$work/x"
finish
