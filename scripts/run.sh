#!/usr/bin/env bash
# Installs what is missing, builds, and starts one of the programs under Wine:
#   bash scripts/run.sh [ostrivan|sorvinda]     (ostrivan when not named)
# With no display it runs on Xvfb, saves a screenshot of the main window and
# says where; then it closes the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-ostrivan}
case "$program" in
  ostrivan) title=("Ostrivan" "Ver1.6") ;;
  sorvinda) title=("Sorvinda" "ver 1.3") ;;
  *) echo "run: which program? ostrivan or sorvinda" >&2; exit 2 ;;
esac
bash "$top/scripts/setup.sh"
"$top/scripts/build-win32.sh"
build="${OSTRIVAN_BUILD_DIR:-$top/build}"
export OSTRIVAN_BUILD_DIR="$build"
# The shipped program is 32-bit; where it cannot run here the same sources
# built for 64-bit Windows are started instead.
source "$top/scripts/host32.sh"
if reason=$(why_no_32bit); then
  exe="$top/build-win32/$program/$program.exe"
  export OSTRIVAN_WINE_BITS=32 WINEPREFIX="$top/build-win32/wineprefix"
else
  cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j"$(nproc)" --target "$program"
  exe="$build/$program/$program.exe"
  echo "run: $reason; starting the 64-bit build $exe"
fi
if [ -n "${DISPLAY:-}" ]; then
  exec "$top/scripts/wine-exec.sh" "$exe"
fi
shot="$build/$program-main-window.png"
RUN_EXE="$exe" RUN_SHOT="$shot" RUN_TITLE1="${title[0]}" RUN_TITLE2="${title[1]}" "$top/scripts/with-wine.sh" bash -c '
  "$WINE" "$RUN_EXE" >/dev/null 2>&1 &
  pid=$!
  id=""
  for _ in $(seq 1 300); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "$RUN_TITLE1" | grep -F "$RUN_TITLE2" | head -n1 | awk "{print \$1}")
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "run: the main window did not appear"; kill $pid; exit 1; }
  sleep 1
  import -window "$id" "$RUN_SHOT"
  echo "run: screenshot of the main window saved to $RUN_SHOT"
  kill $pid 2>/dev/null || true
'
