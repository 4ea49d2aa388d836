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
# A program whose code began is started once, however it ended; one that
# never reached its code (it left no start mark) is started once more by the
# emulator, once, and the retry is logged. Each case counts the probe's
# starts and the retries in the log; the log is this script's own, so these
# deliberate retries stay out of the suite's summary.
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
export OSTRIVAN_RETRY_LOG=$state/retries
: >"$OSTRIVAN_RETRY_LOG"
winfile() { printf 'Z:%s' "${1//\//\\}"; }
# filter | how the probe breaks | verdict | starts | retries | text the output must hold
start_cases=(
  "Probe.Passes|silent|1|1|0|run-gtest: the program ended with exit code 1"
  "Probe.Passes|stderr|1|1|0|run-gtest: the program ended with exit code 3"
  "Probe.Passes|unstarted|0|2|1|[  PASSED  ] 1 test."
  "Probe.Passes|unstarted-always|1|2|1|run-gtest: the program ended with exit code 1"
  "Probe.DISABLED_Fails||1|1|0|run-gtest: the program ended with exit code 1"
  "Probe.DISABLED_FaultsInItsOwnCode||1|1|0|run-gtest: the program ended with exit code 3"
)
again="before its code ran; started once more"
# Runs a command and adds "starts: N, retries: M" to its output.
counted() {
  local logged rc
  rm -f "$state/starts"
  logged=$(wc -l <"$OSTRIVAN_RETRY_LOG")
  "$@" 2>&1
  rc=$?
  echo "starts: $(stat -c %s "$state/starts" 2>/dev/null || echo 0), retries: $(($(wc -l <"$OSTRIVAN_RETRY_LOG") - logged))"
  return "$rc"
}
for c in "${start_cases[@]}"; do
  IFS='|' read -r filter broken verdict starts retries text <<<"$c"
  output=$(FAULT_PROBE_BROKEN=$broken FAULT_PROBE_STARTS=$(winfile "$state/starts") \
           counted "$runner" "$@" --gtest_filter="$filter" --gtest_also_run_disabled_tests)
  rc=$?
  if [ "$retries" -eq 0 ]; then retried="!$again"; else retried=$again; fi
  expect "$filter, broken: ${broken:-no}" "$verdict" "$rc" "$output" "starts: $starts, retries: $retries" "$retried" "$text"
done
# A program that carries no start mark is never started again.
if [ "$#" -ge 2 ] && [ -n "${SILENT_START:-}" ]; then
  emulator=("${@:1:$#-1}")
  output=$(counted "${emulator[@]}" "$SILENT_START" "$(winfile "$state/starts")")
  expect "the emulator: a program without the start mark, silent" 1 $? "$output" "starts: 1, retries: 0"
fi
[ "$fails" -eq 0 ]
