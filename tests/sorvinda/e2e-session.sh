# Sourced by the download manager's end-to-end tests: the test bed's
# repositories served by git daemon, the driver copied beside its settings
# files (git found through "gitpath.dat" only, the source folder S), the
# server named by SORVINDA_GIT_SERVER, and the helpers that read the
# driver's output. Everything started here is stopped on exit.
# Arguments of the test: DRIVER_EXE GITROOT
set -u
driver=$1 gitroot=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
source "$here/../tools/extract-checks.sh"
work=$(mktemp -d)
cleanup() {
  # A test that failed half-way may leave a stand-in blocked in a console:
  # releasing it lets the script end.
  touch "$work/release"
  for pid in $(pgrep -f "$work" 2>/dev/null); do
    [ "$pid" != $$ ] && case "$(cat /proc/$pid/comm 2>/dev/null)" in *.exe|wine*|git) kill "$pid" 2>/dev/null ;; esac
  done
  "$here/../gitbed/daemon.sh" stop "$work/state"
  rm -rf "$work"
}
trap cleanup EXIT

"$here/../gitbed/make-repos.sh" "$work" || { echo "cannot make the repositories"; exit 1; }
port=$("$here/../gitbed/daemon.sh" start "$work/repos" "$work/state") || { echo "no git daemon"; exit 1; }
export SORVINDA_GIT_SERVER=127.0.0.1:$port
export GITSTUB_HOME=$work/home GITSTUB_LOG=$work/stub.log
unset GITSTUB_FAIL GITSTUB_FAIL_COUNT GITSTUB_BLOCK GITSTUB_RELEASE GITSTUB_BLOCKED

mkdir -p "$work/prog" "$work/src"
cp "$driver" "$work/prog/sorvinda-driver.exe"
src=$(winpath "$work/src")
S=$work/src
[ -n "$src" ] && [ -n "$(winpath "$gitroot")" ] || { echo "no Windows path"; exit 1; }
printf '%s\r\n' "$(winpath "$gitroot")" >"$work/prog/gitpath.dat"
printf '%s\r\n' "$src" >"$work/prog/srcpath.dat"
# From the test's own folder: a git command whose script failed to change
# folder must find no repository around the program's working folder.
cd "$work"
# Each run's exit code and standard error are kept: a run that printed
# nothing is shown with them.
run() {
  local out rc
  out=$("$here/../../scripts/wine-exec.sh" "$work/prog/sorvinda-driver.exe" "$@" 2>"$work/driver.err" </dev/null)
  rc=$?
  [ -n "$out" ] || { echo "--- the driver printed nothing (exit $rc; $*); its standard error:" >&2; cat "$work/driver.err" >&2; }
  printf '%s\n' "$out" | tr -d '\r'
}
tab=$'\t'
has() { printf '%s\n' "$out" | grep -qxF -- "$1"; }
hasnt() { ! has "$1"; }
msgs() { printf '%s\n' "$out" | grep "^MSG" | cut -f3 | paste -sd'|'; }
head_of() { cat "$1/.git/HEAD" 2>/dev/null; }
# The hidden delete is not awaited: wait for its effect, bounded.
gone_soon() { local d=$((SECONDS + 30)); while [ -e "$1" ] && [ $SECONDS -lt $d ]; do sleep 0.05; done; [ ! -e "$1" ]; }
