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
keeper="${OSTRIVAN_KEEPALIVE:-}"
if [ -n "$keeper" ] && [ -f "$keeper" ]; then
  "$WINE" "$keeper" </dev/null >/dev/null 2>&1 &
  keep_pid=$!
else
  # Start the server and its services now, away from the command's output.
  wineserver -p </dev/null >/dev/null 2>&1
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
fi

"$@"
