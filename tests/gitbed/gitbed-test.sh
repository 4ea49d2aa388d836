#!/usr/bin/env bash
# The git test bed from end to end: real repositories served by git daemon,
# and the git.exe stand-in driven by cmd.exe under Wine as the download
# manager's scripts drive it: init, pull, remote show into a file, checkout,
# exit codes and output passed through, and the stand-in's switches.
# Usage: gitbed-test.sh GITROOT (the folder whose bin\git.exe is the stand-in)
set -u
gitroot=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
work=$(mktemp -d)
cleanup() { "$here/daemon.sh" stop "$work/state"; rm -rf "$work"; }
trap cleanup EXIT

passed=0 failed=0
check() {  # name, then a command that succeeds when the check holds
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "PASS $name"; return; fi
  failed=$((failed + 1))
  echo "FAIL $name"
  echo "--- last step: exit ${rc:-none}; standard output, then standard error:"
  cat "$work/out" "$work/err" 2>/dev/null
  echo "---"
}
same() {  # file, expected text
  if [ "$(cat "$1"; echo .)" = "$2." ]; then return 0; fi
  echo "--- $1 holds:"; cat "$1"; echo "--- expected:"; printf '%s' "$2"; return 1
}

"$here/make-repos.sh" "$work" || { echo "cannot make the repositories"; exit 1; }
port=$("$here/daemon.sh" start "$work/repos" "$work/state") || { echo "no git daemon"; exit 1; }
url=git://127.0.0.1:$port
export GITSTUB_HOME=$work/home GITSTUB_LOG=$work/stub.log
unset GITSTUB_FAIL GITSTUB_FAIL_COUNT GITSTUB_BLOCK GITSTUB_RELEASE GITSTUB_BLOCKED
bin=$(winpath "$gitroot/bin")
mkdir -p "$work/w"
W=$(winpath "$work/w")
# An empty path would leave the scripts' git in the folder cmd.exe started
# in; the steps start from the test's own folder, outside any repository.
[ -n "$bin" ] && [ -n "$W" ] || { echo "winepath gave no path"; exit 1; }
cd "$work"

# Runs batch lines in cmd.exe with the stand-in first on the path, from the
# working folder; leaves the exit code in $rc and the output in out and err.
step() {
  { printf '@echo off\r\nset PATH=%s;%%PATH%%\r\ncd /d %s\r\n' "$bin" "$W"
    printf '%s\r\n' "$@"; } > "$work/step.bat"
  "$WINE" cmd /c "$(winpath "$work/step.bat")" >"$work/out" 2>"$work/err" </dev/null
  rc=$?
}
bare() { git --git-dir="$work/repos/$1.git" "${@:2}"; }

step "git init"
check "init: exit 0" [ $rc -eq 0 ]
check "init: its output" same "$work/out" "Initialized empty Git repository in $work/w/.git/
"

step "git pull $url/platform/manifest.git android-5.0"
check "pull: exit 0" [ $rc -eq 0 ]
check "pull: FETCH_HEAD names the branch" same "$work/w/.git/FETCH_HEAD" \
  "$(bare platform/manifest rev-parse android-5.0)		branch 'android-5.0' of $url/platform/manifest
"
check "pull: default.xml of the branch" same "$work/w/default.xml" "$(bare platform/manifest show android-5.0:default.xml)
"
check "pull: git's progress on standard error" grep -qxF " * branch            android-5.0 -> FETCH_HEAD" "$work/err"

step "git remote add origin $url/platform/manifest.git" "git remote show origin >origin.txt"
check "remote show: exit 0" [ $rc -eq 0 ]
check "remote show: the file cmd.exe redirected to" same "$work/w/origin.txt" "* remote origin
  Fetch URL: $url/platform/manifest.git
  Push  URL: $url/platform/manifest.git
  HEAD branch: android-4.4
  Remote branches:
    android-4.4 new (next fetch will store in remotes/origin)
    android-5.0 new (next fetch will store in remotes/origin)
"

step "del default.xml" "git checkout -f"
check "checkout -f: exit 0" [ $rc -eq 0 ]
check "checkout -f: restores default.xml" same "$work/w/default.xml" "$(bare platform/manifest show android-5.0:default.xml)
"

# Exit codes pass through: success, git's 1, its fatal 128 and usage 129.
while IFS='|' read -r code cmdline; do
  step "$cmdline"
  check "exit code $code: $cmdline" [ $rc -eq "$code" ]
done <<'CASES'
0|git diff --quiet
1|echo changed>BRANCH& git diff --quiet
128|git rev-parse --verify nosuch
129|git init --no-such-option
CASES
step "git checkout -f" "git rev-parse --verify nosuch"
check "fatal: standard error whole" same "$work/err" "fatal: Needed a single revision
"
check "fatal: nothing on standard output" same "$work/out" ""

step "git commit -q --allow-empty -m identity" "git log -1 --format=%%an/%%ae/%%s"
check "git runs with the test home's identity" same "$work/out" "Test Bed/bed@example.com/identity
"

# Quoted arguments as the scripts write them: a local branch from origin's.
step "git fetch -q origin" 'git checkout -q "origin/android-4.4" -b "android-4.4"'
check "quoted arguments: exit 0" [ $rc -eq 0 ]
check "quoted arguments: HEAD names the new branch" same "$work/w/.git/HEAD" "ref: refs/heads/android-4.4
"
check "quoted arguments: default.xml of that branch" same "$work/w/default.xml" "$(bare platform/manifest show android-4.4:default.xml)
"

# Drive-letter arguments reach git as Unix paths.
step "git init -q $(winpath "$work/w2")" "git -C $(winpath "$work/w2") rev-parse --absolute-git-dir"
check "drive path arguments: exit 0" [ $rc -eq 0 ]
check "drive path arguments: converted" same "$work/out" "$work/w2/.git
"

# GITSTUB_FAIL on the arguments, and on the current directory.
export GITSTUB_FAIL=platform/manifest.git
before=$(cat "$work/w/.git/FETCH_HEAD")
step "git pull $url/platform/manifest.git android-4.4"
check "fail switch: exit 1" [ $rc -eq 1 ]
check "fail switch: its message" same "$work/err" "gitstub: failing on purpose: git pull $url/platform/manifest.git android-4.4
"
check "fail switch: git did not run" [ "$(cat "$work/w/.git/FETCH_HEAD")" = "$before" ]
step "git status --short"
check "fail switch: other invocations run" [ $rc -eq 0 ]
export GITSTUB_FAIL=$(basename "$work")\\w
step "git status --short"
check "fail switch on the current directory" [ $rc -eq 1 ]

# GITSTUB_FAIL_COUNT: only the first matching invocation fails.
export GITSTUB_FAIL=kernel/common GITSTUB_FAIL_COUNT=$work/count
printf '1\n' > "$work/count"
step "git ls-remote $url/kernel/common.git refs/heads/android-3.18"
check "fail count: the first one fails" [ $rc -eq 1 ]
step "git ls-remote $url/kernel/common.git refs/heads/android-3.18"
check "fail count: the next one runs" [ $rc -eq 0 ]
check "fail count: its output" same "$work/out" "$(bare kernel/common rev-parse android-3.18)	refs/heads/android-3.18
"
check "fail count: used up" same "$work/count" "0
"
unset GITSTUB_FAIL GITSTUB_FAIL_COUNT

# GITSTUB_BLOCK: the checkout waits for the release file, and only for it.
export GITSTUB_BLOCK="checkout -f" GITSTUB_RELEASE=$work/release GITSTUB_BLOCKED=$work/blocked
{ printf '@echo off\r\nset PATH=%s;%%PATH%%\r\ncd /d %s\r\ndel default.xml\r\ngit checkout -f\r\n' "$bin" "$W"; } > "$work/block.bat"
"$WINE" cmd /c "$(winpath "$work/block.bat")" >"$work/block.out" 2>&1 </dev/null &
blocker=$!
deadline=$((SECONDS + 60))
while [ ! -e "$work/blocked" ] && kill -0 "$blocker" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
check "block switch: the checkout reports it is blocked" [ -e "$work/blocked" ]
check "block switch: the checkout has not run" [ ! -e "$work/w/default.xml" ]
check "block switch: still waiting" kill -0 "$blocker"
touch "$work/release"
deadline=$((SECONDS + 60))
while kill -0 "$blocker" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
check "block switch: released" bash -c "! kill -0 $blocker 2>/dev/null"
wait "$blocker"
check "block switch: exit 0 after the release" [ $? -eq 0 ]
check "block switch: the checkout ran" [ -e "$work/w/default.xml" ]
unset GITSTUB_BLOCK GITSTUB_RELEASE GITSTUB_BLOCKED

# git ends with the stand-in: a long-running git (the credential cache
# daemon, which serves its socket for 30 s) stops when the stand-in's process
# is killed.
mkdir -m 700 "$work/cc"
printf '@echo off\r\nset PATH=%s;%%PATH%%\r\ncd /d %s\r\ngit credential-cache--daemon %s\r\n' \
  "$bin" "$W" "$(winpath "$work/cc/s")" > "$work/long.bat"
"$WINE" cmd /c "$(winpath "$work/long.bat")" >/dev/null 2>&1 </dev/null &
runner=$!
deadline=$((SECONDS + 60))
while [ ! -S "$work/cc/s" ] && kill -0 "$runner" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
long=$(pgrep -f "^git credential-cache--daemon $work/cc/s\$")
check "a long git runs through the stand-in" [ -n "$long" ]
stub=$(awk '/^PPid:/ { print $2 }' "/proc/$long/status" 2>/dev/null)
# Wine shows a Windows process's own command line, with its Windows path.
check "its parent is the stand-in" [ "$(tr '\0' ' ' < "/proc/$stub/cmdline" 2>/dev/null | sed 's/ *$//')" \
  = "git credential-cache--daemon $(winpath "$work/cc/s")" ]
[ -n "$stub" ] && kill -9 "$stub"
deadline=$((SECONDS + 30))
while kill -0 "$long" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
check "killing the stand-in ends git" bash -c "! kill -0 $long 2>/dev/null"
[ -n "$long" ] && kill "$long" 2>/dev/null
wait "$runner"

# The log: one line per invocation.
check "log: a run" grep -qxF "$W	init	ran 0" "$work/stub.log"
check "log: a failure" grep -qxF "$W	pull $url/platform/manifest.git android-4.4	failed" "$work/stub.log"
check "log: a block" grep -qxF "$W	checkout -f	blocked" "$work/stub.log"

# Without a test home the stand-in refuses rather than use the real one.
GITSTUB_HOME= step "git status"
check "no GITSTUB_HOME: exit 126" [ $rc -eq 126 ]
check "no GITSTUB_HOME: says so" same "$work/err" "gitstub: GITSTUB_HOME is not set
"

# A home elsewhere: the working folder lies outside it, git does not run.
mkdir -p "$work/elsewhere/home"
GITSTUB_HOME=$work/elsewhere/home step "git checkout -f"
check "outside the test's folder: exit 125" [ $rc -eq 125 ]
check "outside the test's folder: says so" same "$work/err" "gitstub: refusing to run outside $work/elsewhere/: $work/w
"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
