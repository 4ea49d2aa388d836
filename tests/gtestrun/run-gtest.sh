#!/usr/bin/env bash
# Runs one GoogleTest program (through the emulator that precedes it, if any)
# and passes only when it ran to its end: exit code 0, GoogleTest's
# "[  PASSED  ]" summary line, and no "[  FAILED  ]" line. A program that
# faults or leaves early can then never pass, whatever exit code it ends with.
# It is started once: only the emulator may start again a program that never
# began (scripts/wine-exec.sh).
# Usage: run-gtest.sh [EMULATOR] PROGRAM [ARGS...]
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$@" | tee "$out"
rc=${PIPESTATUS[0]}
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
