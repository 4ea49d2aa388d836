#!/usr/bin/env bash
# Checks that the format, ECC and model code, the scan walk, the chunk walk
# and the rebuild pages build with the host's own C++
# compiler, which has no Windows header: the fuzzers and other host tools
# compile these files as they are.
#   check-portable.sh SOURCE_DIR
set -u
src=$1/ostrivan
cxx=$(command -v g++ || command -v c++) || { echo "no host C++ compiler"; exit 77; }
failed=0
files="format.cpp ecc.cpp model.cpp scanwalk.cpp chunkwalk.cpp rebuildpages.cpp"
for f in $files; do
  if "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I "$src" "$src/$f"; then
    echo "ok: $f"
  else
    echo "FAILED: $f does not build without Windows headers"
    failed=$((failed + 1))
  fi
done
echo "$(($(echo $files | wc -w) - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
