# Sourced by the Wine scripts: one environment for every program we run.
# OSTRIVAN_WINE_BITS=32 runs the 32-bit build in a 32-bit prefix (where
# wine32 works); otherwise Wine's 64-bit loader is called directly, since the
# `wine` wrapper would pick the 32-bit one whenever it is present.
if [ "${OSTRIVAN_WINE_BITS:-64}" = 32 ]; then
  export WINEARCH=win32
  export WINELOADER=/usr/lib/wine/wine
else
  export WINEARCH=win64
  export WINELOADER=/usr/lib/wine/wine64
fi
export WINE=$WINELOADER
export WINEDEBUG=-all
export LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine smooths text as fontconfig says, whatever the prefix's FontSmoothing
# holds; this setup turns it off (see ensure_wine_prefix).
export FONTCONFIG_FILE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-fonts.conf"
: "${WINEPREFIX:=${OSTRIVAN_BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}/wineprefix}"
export WINEPREFIX

# Makes the prefix once; parallel callers wait on the lock instead of racing.
ensure_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$WINEPREFIX/.ostrivan-ready-3" ] && exit 0
    rm -rf "$WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1 </dev/null
    # No crash dialog waiting on the display, no 2 s wait when a window is
    # destroyed without a window manager.
    "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # The forms ask for 宋体 (SimSun), which Wine lacks: without a stand-in
    # the Chinese captions come out thin and clipped (the Hei font's embedded
    # bitmaps). AR PL UMing, a Song face like SimSun with bitmaps of its own
    # for 11-16 pixels, takes its place. Unsmoothed (wine-fonts.conf) it is
    # drawn from those bitmaps, as Windows draws SimSun at these sizes, and
    # its Latin letters come out as black as its Chinese.
    for f in 宋体 SimSun 新宋体 NSimSun; do
      "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$f" /t REG_SZ /d "AR PL UMing CN" /f >/dev/null 2>&1
    done
    # Caption buttons are drawn with Marlett.
    for f in /usr/share/wine/fonts/marlett.ttf /usr/share/fonts/truetype/wine/marlett.ttf; do
      [ -f "$f" ] && mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" && cp "$f" "$WINEPREFIX/drive_c/windows/Fonts/" && break
    done
    wineserver -w
    touch "$WINEPREFIX/.ostrivan-ready-3"
  ) 9>"$WINEPREFIX.lock"
}

# The Windows name of a Unix path: drive Z: is the root in every prefix Wine
# makes. Spelled out here rather than asked of winepath, which costs a Wine
# process per path and, on a loaded machine, has come back empty.
winpath() {
  local p
  p=$(realpath -ms "$1")
  printf 'Z:%s\n' "${p//\//\\}"
}
export -f winpath
