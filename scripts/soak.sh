#!/usr/bin/env bash
# Runs the whole test suite N times, each in a fresh clone of the committed
# tree with its own build folder and Wine prefix, as CI would; a suite that
# passes only sometimes shows here. Prints one line per run and a summary.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
# Every run tests the commit checked out now, whatever lands meanwhile.
rev=$(git -C "$top" rev-parse HEAD)
work=$(mktemp -d "${TMPDIR:-/tmp}/soak.XXXXXX")
logs="$work/logs"
mkdir -p "$logs"
pass=0 fail=0 retries=0
for i in $(seq 1 "$runs"); do
  clone="$work/run$i"
  git clone -q "$top" "$clone" && git -C "$clone" checkout -q "$rev"
  start=$(date +%s)
  if (cd "$clone" && env -u OSTRIVAN_BUILD_DIR -u OSTRIVAN_WIN32_DIR -u WINEPREFIX bash scripts/test.sh) >"$logs/run$i.log" 2>&1; then
    pass=$((pass + 1)); verdict=green
  else
    fail=$((fail + 1)); verdict="RED (log: $logs/run$i.log)"
  fi
  # One summary per suite (Wine 64-bit, Wine 32-bit where it runs, native).
  summary=$(grep -E 'tests passed|tests failed' "$logs/run$i.log" | paste -sd';')
  echo "soak: run $i/$runs $verdict in $(( $(date +%s) - start )) s: $summary"
  # Starts that Wine ended before the program's code ran, each made once
  # more by the Wine wrapper: counted per run, so that a rise shows.
  retried=$(sed -n 's/^test: \([0-9]*\) retried starts$/\1/p' "$logs/run$i.log")
  echo "soak: run $i/$runs: ${retried:-?} retried starts"
  sed -n 's/^test: retried: /soak:   /p' "$logs/run$i.log"
  retries=$((retries + ${retried:-0}))
  # Keep the log of a red run; the clone and its build are large.
  rm -rf "$clone"
done
echo "soak: commit $rev: $pass green, $fail red of $runs runs, $retries retried starts (logs in $logs)"
[ "$fail" -eq 0 ]
