#!/usr/bin/env bash
# Builds everything and runs all tests under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${OSTRIVAN_BUILD_DIR:-$top/build}"
export OSTRIVAN_BUILD_DIR="$build"
"$top/scripts/build-win32.sh"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release -DOSTRIVAN_WIN32_DIR="${OSTRIVAN_WIN32_DIR:-$top/build-win32}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export OSTRIVAN_KEEPALIVE="$build/tests/keepalive.exe"
"$top/scripts/with-wine.sh" ctest --test-dir "$build" --output-on-failure --timeout 120 -j"$(nproc)" "$@"
