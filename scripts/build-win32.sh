#!/usr/bin/env bash
# The shipped programs: 32-bit Windows executables, one .exe each.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${OSTRIVAN_WIN32_DIR:-$top/build-win32}"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
