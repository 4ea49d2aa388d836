#!/usr/bin/env bash
# Installs what is missing, builds, and starts the image browser under Wine.
# With no display it runs on Xvfb, saves a screenshot of the main window and
# says where; then it closes the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh"
"$top/scripts/build-win32.sh"
build="${OSTRIVAN_BUILD_DIR:-$top/build}"
export OSTRIVAN_BUILD_DIR="$build"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target ostrivan
# The shipped program is 32-bit; where it cannot run here the same sources
# built for 64-bit Windows are started instead.
source "$top/scripts/host32.sh"
if reason=$(why_no_32bit); then
  exe="$top/build-win32/ostrivan/ostrivan.exe"
  export OSTRIVAN_WINE_BITS=32 WINEPREFIX="$top/build-win32/wineprefix"
else
  exe="$build/ostrivan/ostrivan.exe"
  echo "run: $reason; starting the 64-bit build $exe"
fi
if [ -n "${DISPLAY:-}" ]; then
  exec "$top/scripts/wine-exec.sh" "$exe"
fi
shot="$build/ostrivan-main-window.png"
OSTRIVAN_EXE="$exe" OSTRIVAN_SHOT="$shot" "$top/scripts/with-wine.sh" bash -c '
  "$WINE" "$OSTRIVAN_EXE" >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 1 300); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "Ostrivan" | grep -F "Ver1.6" | head -n1 | awk "{print \$1}")
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "run: the main window did not appear"; kill $pid; exit 1; }
  sleep 1
  import -window "$id" "$OSTRIVAN_SHOT"
  echo "run: screenshot of the main window saved to $OSTRIVAN_SHOT"
  kill $pid 2>/dev/null || true
'
