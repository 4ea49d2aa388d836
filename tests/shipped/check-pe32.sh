#!/usr/bin/env bash
# Checks that a program is a 32-bit Windows GUI executable importing system DLLs only.
set -u
exe=$1
info=$(file -b "$exe") || exit 1
echo "$info"
case "$info" in
  "PE32 executable (GUI) Intel 80386"*) ;;
  *) echo "not a PE32 GUI program for the 80386"; exit 1 ;;
esac
dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports:" $dlls
for d in $dlls; do
  case "$d" in
    kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|shell32.dll|ole32.dll|oleaut32.dll|advapi32.dll|shlwapi.dll|msvcrt.dll|ws2_32.dll|version.dll) ;;
    *) echo "imports a DLL that is not part of Windows: $d"; exit 1 ;;
  esac
done
echo "1 passed, 0 failed"
