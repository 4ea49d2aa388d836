#!/usr/bin/env bash
# The download from end to end: the session driver against git daemon
# serving the test bed's repositories (git found through "gitpath.dat" only,
# the server named by SORVINDA_GIT_SERVER). A full download with failed
# fetches retried, a branch change broken off by closing its console, the
# resume, and closing the program during a download. Blocks of the stand-in
# hold a run where the test needs it; nothing waits on time.
# Usage: download.sh DRIVER_EXE GITROOT
source "$(dirname "$0")/e2e-session.sh"
no_cmd_left() {
  local pat; pat="cmd.exe /k $(printf '%s' "$src" | sed 's/\\/\\\\/g')"
  local d=$((SECONDS + 30))
  while pgrep -f "$pat" >/dev/null && [ $SECONDS -lt $d ]; do sleep 0.05; done
  ! pgrep -f "$pat" >/dev/null
}
PROJECTS="build frameworks/base prebuilts/gcc/arm-eabi-4.8 platform/docs"
all_on() {  # every project checked out on the branch, with its files
  local p
  for p in $PROJECTS; do
    [ "$(head_of "$S/$p")" = "ref: refs/heads/$1" ] || { echo "$p: $(head_of "$S/$p")"; return 1; }
    [ "$(cat "$S/$p/BRANCH")" = "$1" ] || { echo "$p: BRANCH $(cat "$S/$p/BRANCH")"; return 1; }
  done
}
progress() { tr -d '\r' <"$S/initdir/jd.dat" 2>/dev/null | sed 's/ *$//' | paste -sd' '; }
pulls_in() { grep -c "[\\/]$1${tab}pull" "$work/stub.log"; }
fetches() { grep "[\\/]$1${tab}pull" "$work/stub.log" | cut -f3 | cut -d' ' -f1 | paste -sd' '; }

out=$(run branch android-4.4 click Button3 wait)
check "init: 初始化成功" [ "$(msgs)" = "初始化成功" ]

# ---- 1. A full download; the kernel's first fetch fails and is fetched again.
export GITSTUB_FAIL=pull GITSTUB_FAIL_COUNT=$work/failcount
echo 1 >"$work/failcount"
: >"$work/stub.log"
out=$(run kernel android-3.10 click Button1 wait controls)
echo "$out"
unset GITSTUB_FAIL GITSTUB_FAIL_COUNT
check "full: the please-wait form came up" has "FORM${tab}稍候"
check "full: 下载完成!" [ "$(msgs)" = "下载完成!   " ]
check "full: every project on android-4.4" all_on android-4.4
check "full: the kernel on android-3.10" [ "$(head_of "$S/kernel")" = "ref: refs/heads/android-3.10" ]
check "full: the progress file lists every step" [ "$(progress)" = "kernel $PROJECTS" ]
check "full: the branch is recorded beside it" [ "$(tr -d '\r\n' <"$S/initdir/jdbranch.dat")" = android-4.4 ]
check "full: the script's own end ran (Makefile)" grep -q "### android-4.4" "$S/Makefile"
check "full: the script is deleted" gone_soon "$S/initdir/getsrc.bat"
check "full: the kernel branch is in origin" grep -qx "HEAD branch: android-3.10" <(tr -d '\r' <"$S/initdir/origin")
check "full: switch enabled" has "Button5${tab}TButton${tab}切换${tab}1${tab}1"
check "retry: the kernel's failed fetch ran again" [ "$(fetches kernel)" = "failed ran" ]
check "full: no console left" no_cmd_left

# ---- 2. A branch change fetches every step again; the console closed while
# the third project's git is held breaks the download off.
export GITSTUB_BLOCK=arm-eabi-4.8 GITSTUB_RELEASE=$work/release GITSTUB_BLOCKED=$work/blocked
rm -f "$work/release" "$work/blocked"
: >"$work/stub.log"
out=$(run branch android-5.0 click Button1 wait-file "$(winpath "$work")\\blocked" close-console download wait)
echo "$out"
unset GITSTUB_BLOCK GITSTUB_RELEASE GITSTUB_BLOCKED
check "break: the console was closed" has "CONSOLE-CLOSED"
check "break: 下载中途断开!" [ "$(msgs)" = "下载中途断开!   " ]
check "break: the manifest checked out on android-5.0" [ "$(head_of "$S/initdir/manifest")" = "ref: refs/heads/android-5.0" ]
check "break: the finished steps are listed" [ "$(progress)" = "kernel build frameworks/base" ]
check "break: the kernel and build fetched again" [ "$(pulls_in kernel)" = 1 ] && [ "$(pulls_in build)" = 1 ]
check "break: build on android-5.0" [ "$(cat "$S/build/BRANCH")" = android-5.0 ]
check "break: the script is deleted" gone_soon "$S/initdir/getsrc.bat"
check "break: no console left" no_cmd_left

# ---- 3. The resume skips the finished steps and completes; its first fetch
# fails once and is fetched again.
export GITSTUB_FAIL=pull GITSTUB_FAIL_COUNT=$work/failcount
echo 1 >"$work/failcount"
: >"$work/stub.log"
out=$(run branch android-5.0 click Button1 wait)
echo "$out"
unset GITSTUB_FAIL GITSTUB_FAIL_COUNT
check "retry: a project's failed fetch ran again" [ "$(fetches arm-eabi-4.8)" = "failed ran" ]
check "resume: 下载完成!" [ "$(msgs)" = "下载完成!   " ]
check "resume: nothing fetched again in kernel, build, frameworks/base" \
  [ "$(pulls_in kernel)$(pulls_in build)$(pulls_in base)" = 000 ]
check "resume: the rest fetched" [ "$(pulls_in docs)" = 1 ]
check "resume: every project on android-5.0" all_on android-5.0
check "resume: the progress file lists every step" [ "$(progress)" = "kernel $PROJECTS" ]

# ---- 4. Closing during a download asks; No keeps it, Yes breaks it off.
export GITSTUB_BLOCK=pull GITSTUB_RELEASE=$work/release GITSTUB_BLOCKED=$work/blocked
rm -f "$work/release" "$work/blocked"
out=$(run branch android-4.4 click Button1 wait-file "$(winpath "$work")\\blocked" click Button1 answer no close \
  answer yes close wait)
echo "$out"
unset GITSTUB_BLOCK GITSTUB_RELEASE GITSTUB_BLOCKED
check "close: a second start refused, then the question twice" \
  [ "$(msgs)" = "正在运行，请稍候！|正在下载要断开退了出?   |正在下载要断开退了出?   " ]
check "close: No keeps the window, Yes closes it" [ "$(printf '%s\n' "$out" | grep -xE 'OPEN|CLOSED' | paste -sd' ')" = "OPEN CLOSED" ]
check "close: the console is gone" no_cmd_left
check "close: the manifest back on its local android-4.4" [ "$(head_of "$S/initdir/manifest")" = "ref: refs/heads/android-4.4" ]
check "close: the script stays behind" [ -e "$S/initdir/getsrc.bat" ]
rm -f "$S/initdir/getsrc.bat"

# ---- 5. A manifest entry whose folder leaves the source folder is refused
# before anything runs; the progress file stays as it was.
before=$(progress)
xml=$S/initdir/manifest/default.xml
cp "$xml" "$work/default.xml"
sed -i 's|<project name="platform/docs" />|<project path="../outside" name="platform/docs" />|' "$xml"
out=$(run branch android-4.4 click Button1 wait)
echo "$out"
check "refused path: its own message" [ "$(msgs)" = "清单中的项目路径无效：../outside" ]
check "refused path: no script written" [ ! -e "$S/initdir/getsrc.bat" ]
check "refused path: the progress file untouched" [ "$(progress)" = "$before" ]
check "refused path: nothing outside" [ ! -e "$work/outside" ]

# ---- 6. Unsafe names are refused at the click; a manifest that cannot be
# parsed ends the run with 请先初始化 and the please-wait form closed.
echo "<manifest><default revision=" >"$xml"
out=$(run kernel 'a&b' click Button1 kernel android-3.10 click Button1 wait controls)
echo "$out"
cp "$work/default.xml" "$xml"
check "broken manifest: messages" [ "$(msgs)" = "源代码保存目录或分支名含有空格或特殊字符！|请先初始化!   " ]
check "broken manifest: download disabled" has "Button1${tab}TButton${tab}开始更新下载${tab}0${tab}1"
check "broken manifest: initialise enabled" has "Button3${tab}TButton${tab}初始化${tab}1${tab}1"

# ---- 7. A project folder that cannot be entered (a file of the user's
# stands at its path) ends the script as a break: git runs only in the
# folders of the steps, none is asked again, and the steps before it are
# done. A path naming the log the script itself writes is refused up front.
git_only_in_steps() {  # every git call of the run in the kernel's or a project's folder
  local allowed="$src\\kernel" p
  for p in $PROJECTS; do allowed+="|$src\\${p//\//\\}"; done
  # Through the environment: awk -v would read the backslashes as escapes.
  ALLOWED=$allowed awk -F'\t' 'BEGIN { n = split(ENVIRON["ALLOWED"], a, "|"); for (i = 1; i <= n; i++) ok[a[i]] = 1 }
    !($1 in ok) { print "git in " $1 ": " $2; bad = 1 } END { exit bad }' "$work/stub.log"
}
before=$(progress)
sed -i 's|<project name="platform/docs" />|<project path="clone_result.log" name="platform/docs" />|' "$xml"
out=$(run branch android-4.4 click Button1 wait)
echo "$out"
check "the log's path: refused" [ "$(msgs)" = "清单中的项目路径无效：clone_result.log" ]
check "the log's path: the progress file untouched" [ "$(progress)" = "$before" ]
cp "$work/default.xml" "$xml"
printf 'keep' >"$S/notes.txt"
sed -i 's|<project name="platform/docs" />|<project path="notes.txt" name="platform/docs" />|' "$xml"
: >"$work/stub.log"
out=$(run branch android-4.4 click Button1 wait)
echo "$out"
cp "$work/default.xml" "$xml"
check "unenterable folder: a break" [ "$(msgs)" = "下载中途断开!   " ]
check "unenterable folder: git only in the steps' folders" git_only_in_steps
check "unenterable folder: the file is still the user's" [ "$(cat "$S/notes.txt")" = keep ]
check "unenterable folder: the steps before it are done" \
  [ "$(progress)" = "kernel build frameworks/base prebuilts/gcc/arm-eabi-4.8" ]
check "unenterable folder: each step pulled once" [ "$(grep -c "${tab}pull" "$work/stub.log")" = 4 ]
check "unenterable folder: the script is deleted" gone_soon "$S/initdir/getsrc.bat"
check "unenterable folder: no console left" no_cmd_left

finish
