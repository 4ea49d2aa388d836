# Sourced by the archive tests: counts checks, and checks one archive the
# way the carried program is checked.
passed=0 failed=0
check() {  # name, then a command that succeeds when the check holds
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "PASS $name"; else failed=$((failed + 1)); echo "FAIL $name"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# case, archive, the member's original bytes, a scratch folder
check_archive() {
  local case=$1 arc=$2 orig=$3 dir=$4
  local here_checks
  here_checks=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  check "$case: fields and CRCs" python3 "$here_checks/check-rar.py" "$arc" ostrivan.exe "$orig"
  mkdir -p "$dir/bsdtar" "$dir/unrar-free"
  bsdtar -xf "$arc" -C "$dir/bsdtar"
  check "$case: bsdtar extracts it" [ $? -eq 0 ]
  check "$case: bsdtar gives the same bytes" cmp "$orig" "$dir/bsdtar/ostrivan.exe"
  check "$case: bsdtar finds one member" [ "$(ls -A "$dir/bsdtar")" = ostrivan.exe ]
  unrar-free -x "$arc" "$dir/unrar-free/" >"$dir/unrar-free.log" 2>&1
  check "$case: unrar-free extracts it" [ $? -eq 0 ]
  check "$case: unrar-free gives the same bytes" cmp "$orig" "$dir/unrar-free/ostrivan.exe"
  check "$case: unrar-free finds one member" [ "$(ls -A "$dir/unrar-free")" = ostrivan.exe ]
}
