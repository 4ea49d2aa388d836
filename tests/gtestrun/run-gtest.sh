#!/usr/bin/env bash
# Runs one GoogleTest program (through the emulator that precedes it, if any)
# and passes only when it ran to its end: exit code 0, GoogleTest's
# "[  PASSED  ]" summary line, and no "[  FAILED  ]" line. A program that
# faults or leaves early can then never pass, whatever exit code it ends with.
#
# A program that failed without printing a single byte never reached
# GoogleTest (whose first line comes before any test, and whose fault
# handler prints before it ends the program): Wine did not start it. That
# was seen once in a clean run, exit code 1 after 0.02 s, under the time a
# start takes at all. Such a program is started once more, and the second
# run's verdict counts; a program that cannot start fails both times.
# Usage: run-gtest.sh [EMULATOR] PROGRAM [ARGS...]
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
run() {
  "$@" | tee "$out"
  rc=${PIPESTATUS[0]}
}
run "$@"
if [ "$rc" -ne 0 ] && [ ! -s "$out" ]; then
  echo "run-gtest: the program ended with exit code $rc before printing anything; starting it once more"
  run "$@"
fi
if [ "$rc" -ne 0 ]; then
  echo "run-gtest: the program ended with exit code $rc"
  exit 1
fi
if grep -q '^\[  FAILED  \]' "$out"; then
  echo "run-gtest: the program reported a failed test"
  exit 1
fi
if ! grep -q '^\[  PASSED  \]' "$out"; then
  echo "run-gtest: the program ended without GoogleTest's \"[  PASSED  ]\" line"
  exit 1
fi
exit 0
