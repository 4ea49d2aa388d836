#!/usr/bin/env bash
# The rules by which a test program passes: each way of ending of the fault
# probe, run through run-gtest.sh as ctest runs every test program, gives the
# expected verdict and reason. Usage: gtestrun-rules.sh RUNNER [EMULATOR] PROBE
set -u
runner=$1
shift
fails=0
# Counts a failure unless the run ended with the verdict (0 pass, 1 fail) and
# its output holds each text (a text after "!": does not hold it).
#   expect WHAT VERDICT RC OUTPUT TEXT...
expect() {
  local what=$1 verdict=$2 rc=$3 output=$4
  shift 4
  local bad=0 text
  [ "$rc" -eq "$verdict" ] || bad=1
  for text in "$@"; do
    case "$text" in
      !*) grep -qF -- "${text#!}" <<<"$output" && bad=1 ;;
      *) grep -qF -- "$text" <<<"$output" || bad=1 ;;
    esac
  done
  if [ "$bad" -ne 0 ]; then
    echo "FAIL: $what: verdict $rc, expected $verdict; output:"
    echo "$output"
    fails=$((fails + 1))
  else
    echo "ok: $what"
  fi
}
# filter | verdict (0 pass, 1 fail) | text the run's output must hold
cases=(
  "Probe.Passes|0|[  PASSED  ] 1 test."
  "Probe.DISABLED_FaultsInTheCLibrary|1|run-gtest: the program ended with exit code 3"
  "Probe.DISABLED_FaultsInTheCLibraryOnAnotherThread|1|run-gtest: the program ended with exit code 3"
  "Probe.DISABLED_FaultsInItsOwnCode|1|run-gtest: the program ended with exit code 3"
  "Probe.DISABLED_LeavesEarlyWithExitCodeZero|1|run-gtest: the program ended without GoogleTest's \"[  PASSED  ]\" line"
  "Probe.DISABLED_Fails|1|run-gtest: the program ended with exit code 1"
  "Probe.DISABLED_PrintsAFailureAndEndsWell|1|run-gtest: the program reported a failed test"
)
for c in "${cases[@]}"; do
  IFS='|' read -r filter verdict text <<<"$c"
  output=$("$runner" "$@" --gtest_filter="$filter" --gtest_also_run_disabled_tests 2>&1)
  expect "$filter" "$verdict" $? "$output" "$text"
done
# A fault says so before the program ends: one in the C library as unhandled
# (the program's own fault handler leaves it alone), one in the program's
# own code at once.
output=$("$runner" "$@" --gtest_filter='Probe.DISABLED_FaultsInTheCLibrary*' --gtest_also_run_disabled_tests 2>&1)
if ! grep -q '^FATAL: unhandled exception 0xc0000005 at ' <<<"$output"; then
  echo "FAIL: the fault in the C library was not reported; output:"
  echo "$output"
  fails=$((fails + 1))
fi
output=$("$runner" "$@" --gtest_filter=Probe.DISABLED_FaultsInItsOwnCode --gtest_also_run_disabled_tests 2>&1)
if ! grep -q '^FATAL: exception 0xc0000005 at offset ' <<<"$output"; then
  echo "FAIL: the fault was not reported; output:"
  echo "$output"
  fails=$((fails + 1))
fi
# A program that Wine did not start ends silently: it is started once more
# and the second run counts. Stand-in: a start that ends with exit code 1 and
# no output, the first time only or every time. A program that printed
# before failing is never started again.
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
silent_start() {
  local when=$1
  shift
  "$runner" bash -c 'if [ "$1" = always ] || [ ! -e "$0" ]; then touch "$0"; exit 1; fi; shift; exec "$@"' \
    "$state/$when" "$when" "$@" --gtest_also_run_disabled_tests 2>&1
}
again="before printing anything; starting it once more"
output=$(silent_start once "$@" --gtest_filter=Probe.Passes)
expect "silent once, then passes" 0 $? "$output" "$again" "[  PASSED  ] 1 test."
output=$(silent_start always "$@" --gtest_filter=Probe.Passes)
expect "silent every time" 1 $? "$output" "$again" "run-gtest: the program ended with exit code 1"
output=$("$runner" "$@" --gtest_filter=Probe.DISABLED_Fails --gtest_also_run_disabled_tests 2>&1)
expect "a failure that printed is not run again" 1 $? "$output" "!$again"
output=$("$runner" "$@" --gtest_filter=Probe.DISABLED_FaultsInItsOwnCode --gtest_also_run_disabled_tests 2>&1)
expect "a fault is not run again" 1 $? "$output" "!$again"
# The emulator starts once more a program that ended at once with exit code 1
# and printed nothing; not one that printed before failing.
if [ "$#" -ge 2 ] && [ -n "${SILENT_START:-}" ]; then
  emulator=("${@:1:$#-1}")
  marker=$state/marker
  wmarker="Z:${marker//\//\\}"
  again="ended at once with exit code 1, printing nothing; starting it once more"
  output=$("${emulator[@]}" "$SILENT_START" "$wmarker" 2>&1)
  expect "the emulator: silent once, then runs" 0 $? "$output" "$again" "ran"
  output=$("${emulator[@]}" "$SILENT_START" "$wmarker" always 2>&1)
  expect "the emulator: silent every time" 1 $? "$output" "$again" "!ran"
  output=$("$@" --gtest_filter=Probe.DISABLED_Fails --gtest_also_run_disabled_tests 2>&1)
  expect "the emulator: a failure that printed is not run again" 1 $? "$output" "!$again"
fi
[ "$fails" -eq 0 ]
