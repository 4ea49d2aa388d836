#!/usr/bin/env bash
# Runs the image fuzzer (libFuzzer, with the address and undefined-behaviour
# sanitizers) for SECONDS seconds from the builder's seed images. A finding is
# left as build-native/fuzz/crash-* and fails the run: copy it to
# tests/fuzz-regressions/ once its fault is fixed, where the host test run
# replays it.
#   fuzz.sh SECONDS [libFuzzer arguments]
set -euo pipefail
seconds=${1:?usage: fuzz.sh SECONDS [libFuzzer arguments]}
shift
top=$(cd "$(dirname "$0")/.." && pwd)
build="${OSTRIVAN_NATIVE_DIR:-$top/build-native}"
cmake -S "$top/tests/native" -B "$build" -DCMAKE_C_COMPILER="${OSTRIVAN_NATIVE_CC:-clang}" \
  -DCMAKE_CXX_COMPILER="${OSTRIVAN_NATIVE_CXX:-clang++}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target image_fuzzer make_fuzz_seeds
work="$build/fuzz"
mkdir -p "$work/corpus" "$work/seeds"
"$build/make_fuzz_seeds" "$work/seeds"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# The corpus grows in build-native/fuzz/corpus from run to run; the seeds and
# the kept regression inputs start every run.
cd "$work"
exec "$build/image_fuzzer" -max_total_time="$seconds" -max_len=32768 -rss_limit_mb=2048 -timeout=20 \
  -print_final_stats=1 -artifact_prefix="$work/" "$@" "$work/corpus" "$work/seeds" "$top/tests/fuzz-regressions"
