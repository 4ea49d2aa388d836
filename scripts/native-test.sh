#!/usr/bin/env bash
# Builds the image library (ostrivan/image) natively with clang under the
# address and undefined-behaviour sanitizers, with its pure tests and the
# fuzzer's regression inputs, and runs them. Needs Debian's clang,
# libclang-rt-14-dev (or the clang version's runtime) and googletest
# (/usr/src/googletest).
#   native-test.sh [ctest arguments]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${OSTRIVAN_NATIVE_DIR:-$top/build-native}"
cc=${OSTRIVAN_NATIVE_CC:-clang}
cxx=${OSTRIVAN_NATIVE_CXX:-clang++}
cmake -S "$top/tests/native" -B "$build" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" --output-on-failure --timeout 300 -j"$(nproc)" "$@"
