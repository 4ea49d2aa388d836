#!/usr/bin/env bash
# The carried archive as built: the program that carries it saves the
# resource under Wine, the saved bytes equal the archive the build packed, and
# bsdtar and unrar-free extract from it an ostrivan.exe identical to the built
# one (compared byte for byte: neither checks a stored member's CRC).
# Usage: carried-archive.sh PROBE_EXE ARCHIVE PROGRAM
set -u
probe=$1 archive=$2 program=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
source "$here/extract-checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$here/../../scripts/wine-exec.sh" "$probe" "$(winpath "$work/saved.rar")"
check "the probe saves the resource" [ $? -eq 0 ]
check "saved bytes equal the packed archive" cmp "$archive" "$work/saved.rar"
check_archive "saved archive" "$work/saved.rar" "$program" "$work/x"
finish
