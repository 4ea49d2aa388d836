#!/usr/bin/env bash
# Compares with Debian's unyaffs: the files the program extracts from an
# offline-built image, and the files unyaffs extracts from the program's
# rebuilt image (tags at 2048), must equal what unyaffs extracts from the
# original. Usage: outside-tools.sh BUILD_DIR
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/wine-env.sh"
command -v unyaffs >/dev/null || { echo "unyaffs is not installed"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
winpath() { "$WINE" winepath -w "$1" 2>/dev/null; }
run() { "$here/../scripts/wine-exec.sh" "$@"; }

passed=0 failed=0
check() {  # name, then a command that succeeds when the check holds
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "PASS $name"; else failed=$((failed + 1)); echo "FAIL $name"; fi
}

run "$build/tests/make_test_image.exe" "$(winpath "$work/in.img")" || { echo "no test image"; exit 1; }
unyaffs -c 2 -s 64 "$work/in.img" "$work/oracle" >/dev/null
run "$build/tests/ostrivan-driver.exe" open "$(winpath "$work/in.img")" export-all "$(winpath "$work/ours")" \
  save "$(winpath "$work/rebuilt.img")" 1 0 > "$work/driver.log"
check "export-all equals unyaffs" diff -r "$work/oracle" "$work/ours"
unyaffs -c 2 -s 64 "$work/rebuilt.img" "$work/rebuilt" >/dev/null
check "unyaffs reads the rebuilt image" diff -r "$work/oracle" "$work/rebuilt"
check "no message box" bash -c "! grep -q '^MSG' '$work/driver.log'"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
