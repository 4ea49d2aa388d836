# Sourced by the Wine scripts: one environment for every program we run.
export WINEARCH=win64
# This host runs no 32-bit user code, so Wine's 64-bit loader is called
# directly (the `wine` wrapper would pick the 32-bit one when it is present).
export WINELOADER=/usr/lib/wine/wine64
export WINE=$WINELOADER
export WINEDEBUG=-all
export LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
: "${WINEPREFIX:=${OSTRIVAN_BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}/wineprefix}"
export WINEPREFIX

# Makes the prefix once; parallel callers wait on the lock instead of racing.
ensure_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$WINEPREFIX/.ostrivan-ready" ] && exit 0
    rm -rf "$WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1 </dev/null
    # No crash dialog waiting on the display, no 2 s wait when a window is
    # destroyed without a window manager.
    "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # Caption buttons are drawn with Marlett.
    for f in /usr/share/wine/fonts/marlett.ttf /usr/share/fonts/truetype/wine/marlett.ttf; do
      [ -f "$f" ] && mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" && cp "$f" "$WINEPREFIX/drive_c/windows/Fonts/" && break
    done
    wineserver -w
    touch "$WINEPREFIX/.ostrivan-ready"
  ) 9>"$WINEPREFIX.lock"
}
