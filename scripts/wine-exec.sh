#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's environment; the exit
# code and output pass through. ctest uses it as the cross-compiling emulator.
#
# A start that ends within a few seconds with exit code 1 and not a byte on
# standard output never ran the program: seen once in a few hundred starts on
# a loaded machine (a test program, a session driver), in CI too, before any
# of the program's own code printed. Such a start is made once more, and
# says so on standard error.
source "$(dirname "$0")/wine-env.sh"
ensure_wine_prefix
out=$(mktemp)
trap 'rm -f "$out"' EXIT
begun=$SECONDS
"$WINE" "$@" | tee "$out"
rc=${PIPESTATUS[0]}
if [ "$rc" -eq 1 ] && [ ! -s "$out" ] && [ $((SECONDS - begun)) -le 3 ]; then
  echo "wine-exec: $1 ended at once with exit code 1, printing nothing; starting it once more" >&2
  "$WINE" "$@"
  rc=$?
fi
exit "$rc"
