#!/usr/bin/env bash
# Runs a command with a Wine session around it: an Xvfb display when none is
# set, the prefix, and a wineserver kept alive for the whole command so that
# the services it starts do not hold the command's output open. Everything
# started here is stopped here.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"

xvfb_pid=""
keep_pid=""
cleanup() {
  [ -n "$keep_pid" ] && kill "$keep_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  dfile=$(mktemp)
  Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp 7>"$dfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do [ -s "$dfile" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$dfile")"
  rm -f "$dfile"
fi

ensure_wine_prefix
# The first Wine program of a session starts the wineserver, and through
# wineboot the services and later the desktop process; each of them keeps the
# Unix stderr of the program that started it. Started by a test, they would
# hold that test's output pipe open long after it ended, and ctest would wait
# for it until its timeout. So the session is brought up here, with no output
# attached, and only then does the command start.
keeper="${OSTRIVAN_KEEPALIVE:-}"
if [ -n "$keeper" ] && [ -f "$keeper" ]; then
  "$WINE" "$keeper" </dev/null >/dev/null 2>&1 &
  keep_pid=$!
  if ! "$WINE" "$keeper" --ready </dev/null >/dev/null 2>&1; then
    echo "with-wine: the Wine session did not come up" >&2
    exit 1
  fi
else
  wineserver -p </dev/null >/dev/null 2>&1
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
fi

"$@"
