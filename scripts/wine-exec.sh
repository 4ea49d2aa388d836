#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's environment; the exit
# code and output pass through. ctest uses it as the cross-compiling emulator.
#
# Wine now and then ends a start at once with exit code 1 and no output,
# before any of the program's code ran (seen rarely on a loaded machine; a
# test program, a session driver). A program whose code began is never
# started again: the test programs and the drivers prove that they began,
# their earliest static initialiser writes the file that OSTRIVAN_START_MARK
# names (tests/support/session.cpp). Only a start of such a program that
# ended with exit code 1 and left no mark is made once more, once. The retry
# is said on standard error and, as one line, in the file OSTRIVAN_RETRY_LOG
# names, if any.
source "$(dirname "$0")/wine-env.sh"
ensure_wine_prefix
marks=$(mktemp -d)
trap 'rm -rf "$marks"' EXIT

# Starts the program with the mark file $1.
start() {
  OSTRIVAN_START_MARK=$(winpath "$marks/$1") "$WINE" "${@:2}"
}

# True when the program file carries the start mark, which names its
# variable in UTF-16.
writes_start_mark() {
  [ -f "$1" ] && LC_ALL=C grep -qaP "$(sed 's/./&\\x00/g' <<<OSTRIVAN_START_MARK)" "$1"
}

start first "$@"
rc=$?
if [ "$rc" -eq 1 ] && [ ! -e "$marks/first" ] && writes_start_mark "$1"; then
  line="wine-exec: $* ended with exit code 1 before its code ran; started once more"
  echo "$line" >&2
  [ -n "${OSTRIVAN_RETRY_LOG:-}" ] && echo "$line" >>"$OSTRIVAN_RETRY_LOG"
  start second "$@"
  rc=$?
fi
exit "$rc"
