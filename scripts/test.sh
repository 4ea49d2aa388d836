#!/usr/bin/env bash
# Builds everything and runs all tests under Wine: the 64-bit test build
# everywhere, and the same suite built for 32-bit Windows where the host can
# run it (the shipped programs are 32-bit); then the image code's native
# build under the sanitizers.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/host32.sh"
win32="${OSTRIVAN_WIN32_DIR:-$top/build-win32}"
"$top/scripts/build-win32.sh"

# Every start that the Wine wrapper made once more (scripts/wine-exec.sh)
# lands in this log and is listed at the end, whatever the verdict.
retries=$(mktemp)
export OSTRIVAN_RETRY_LOG=$retries
report_retries() {
  echo "test: $(wc -l <"$retries") retried starts"
  sed 's/^/test: retried: /' "$retries"
  rm -f "$retries"
}
trap report_retries EXIT

# Builds the tests in folder $1 with toolchain $2 and runs them with Wine's
# loader for $3 bits; further arguments go to ctest.
suite() {
  local build=$1 toolchain=$2 bits=$3
  shift 3
  cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DOSTRIVAN_WIN32_DIR="$win32" >/dev/null
  cmake --build "$build" -j"$(nproc)"
  OSTRIVAN_BUILD_DIR="$build" OSTRIVAN_WINE_BITS="$bits" OSTRIVAN_KEEPALIVE="$build/tests/keepalive.exe" \
    "$top/scripts/with-wine.sh" ctest --test-dir "$build" --output-on-failure --timeout 120 -j"$(nproc)" "$@"
}

suite "${OSTRIVAN_BUILD_DIR:-$top/build}" mingw-x86_64.cmake 64 "$@"
if reason=$(why_no_32bit); then
  suite "${OSTRIVAN_BUILD32_DIR:-$top/build-i686}" mingw-i686.cmake 32 "$@"
else
  echo "test: the 32-bit suite does not run: $reason"
fi
# The image code built natively under the address and undefined-behaviour
# sanitizers, with its pure tests and the fuzzer's regression inputs.
"$top/scripts/native-test.sh"
