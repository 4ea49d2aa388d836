#!/usr/bin/env bash
# Initialisation and the kernel switch from end to end: the session driver
# (a GUI program, so every script gets a console window) against git daemon
# serving the test bed's repositories, with git found only through
# "gitpath.dat" (the stand-in is not on Wine's path) and the server named by
# SORVINDA_GIT_SERVER. Blocks of the stand-in hold a run where the test needs
# it; nothing waits on time.
# Usage: init-switch.sh DRIVER_EXE GITROOT
source "$(dirname "$0")/e2e-session.sh"
no_cmd_left() {  # no cmd.exe of this test's scripts is running
  local d=$((SECONDS + 30))
  while pgrep -f "cmd.exe /c $(printf '%s' "$src" | sed 's/\\/\\\\/g')" >/dev/null && [ $SECONDS -lt $d ]; do sleep 0.05; done
  ! pgrep -f "cmd.exe /c $(printf '%s' "$src" | sed 's/\\/\\\\/g')" >/dev/null
}

check "git is not on Wine's path (only in gitpath.dat)" bash -c '! "$WINE" cmd /c git version >/dev/null 2>&1 </dev/null'

# ---- 1. A broken initialisation: the default branch "cupcake" is not on the server.
out=$(run click Button3 wait controls)
echo "$out"
check "broken: 初始化失败 from the worker" [ "$(msgs)" = "初始化失败" ]
check "broken: initialise stays enabled" has "Button3${tab}TButton${tab}初始化${tab}1${tab}1"
check "broken: download stays disabled" has "Button1${tab}TButton${tab}开始更新下载${tab}0${tab}1"
check "broken: no default.xml" [ ! -e "$S/initdir/manifest/default.xml" ]
check "broken: the kernel answer came all the same" grep -qx '\* remote origin' "$S/initdir/origin"
check "broken: the script is deleted" gone_soon "$S/initdir/initbat.bat"
check "broken: git ran through gitpath.dat only" grep -q "pull" "$work/stub.log"

# ---- 2. Initialise on android-4.4.
out=$(run branch android-4.4 click Button3 wait controls lists)
echo "$out"
check "init: 初始化成功" [ "$(msgs)" = "初始化成功" ]
check "init: download enabled" has "Button1${tab}TButton${tab}开始更新下载${tab}1${tab}1"
check "init: initialise disabled" has "Button3${tab}TButton${tab}初始化${tab}0${tab}1"
check "init: switch disabled (no kernel yet)" has "Button5${tab}TButton${tab}切换${tab}0${tab}1"
check "init: platform list" [ "$(printf '%s\n' "$out" | grep -E "^ComboBox1${tab}[^${tab}]*\$" | cut -f2 | paste -sd' ')" = "android-4.4 android-5.0" ]
check "init: kernel list" [ "$(printf '%s\n' "$out" | grep -E "^ComboBox2${tab}[^${tab}]*\$" | cut -f2 | paste -sd' ')" = "android-3.10 android-3.18 android-3.4" ]
check "init: kernel box shows the head branch" has "ComboBox2${tab}TComboBox${tab}android-3.10${tab}1${tab}1"
check "init: manifest on the branch" [ "$(head_of "$S/initdir/manifest")" = "ref: refs/heads/android-4.4" ]
check "init: default.xml of the branch" grep -q 'revision="android-4.4"' "$S/initdir/manifest/default.xml"
check "init: the script is deleted" gone_soon "$S/initdir/initbat.bat"
check "init: srcpath.dat kept" [ "$(tr -d '\r' <"$work/prog/srcpath.dat")" = "$src" ]

# ---- 3. Initialise again over the working folder, on the other branch; an
# unrelated file in initdir stays.
echo keep >"$S/initdir/jd.dat"
out=$(run branch android-5.0 click Button3 wait controls)
echo "$out"
check "again: 初始化成功" [ "$(msgs)" = "初始化成功" ]
check "again: manifest on the new branch" [ "$(head_of "$S/initdir/manifest")" = "ref: refs/heads/android-5.0" ]
check "again: default.xml of the new branch" grep -q 'revision="android-5.0"' "$S/initdir/manifest/default.xml"
check "again: other files in initdir stay" [ "$(cat "$S/initdir/jd.dat")" = keep ]
check "again: the platform branch restored at start" has "ComboBox1${tab}TComboBox${tab}android-5.0${tab}1${tab}1"

# ---- 4. The console closed early, after the manifest's checkout and before
# the kernel query: the old origin is gone before the run, so no success
# from it.
export GITSTUB_BLOCK='initdir\nh' GITSTUB_RELEASE=$work/release GITSTUB_BLOCKED=$work/blocked
rm -f "$work/release" "$work/blocked"
out=$(run branch android-4.4 click Button3 wait-file "$(winpath "$work")\\blocked" close-console init wait)
echo "$out"
check "early close: the console was there" has "CONSOLE-CLOSED"
check "early close: 初始化失败" [ "$(msgs)" = "初始化失败" ]
check "early close: default.xml was there" [ -e "$S/initdir/manifest/default.xml" ]
check "early close: no kernel answer" [ ! -s "$S/initdir/origin" ]
check "early close: no script left running" no_cmd_left

# ---- 5. Closing during an initialisation asks: No keeps it, Yes ends it.
export GITSTUB_BLOCK="remote show"
rm -f "$work/release" "$work/blocked"
out=$(run branch android-4.4 click Button3 wait-file "$(winpath "$work")\\blocked" click Button3 answer no close answer yes close)
echo "$out"
check "close asks: a second start refused" [ "$(printf '%s\n' "$out" | grep '^MSG' | head -1 | cut -f3)" = "正在运行，请稍候！" ]
check "close asks: the question, twice" [ "$(printf '%s\n' "$out" | grep -c "^MSG${tab}提示${tab}正在下载要断开退了出?   \$")" = 2 ]
check "close asks: No keeps the window" [ "$(printf '%s\n' "$out" | grep -xE 'OPEN|CLOSED' | paste -sd' ')" = "OPEN CLOSED" ]
check "close asks: Yes closed the console" no_cmd_left
unset GITSTUB_BLOCK GITSTUB_RELEASE GITSTUB_BLOCKED

# Initialised again for the switch, and a kernel fetched as the download does.
out=$(run branch android-4.4 click Button3 wait)
check "re-init: 初始化成功" [ "$(msgs)" = "初始化成功" ]
(export GIT_CONFIG_NOSYSTEM=1 HOME=$work/home LC_ALL=C
 git init -q "$S/kernel" && git -C "$S/kernel" remote add origin "git://127.0.0.1:$port/kernel/common.git" &&
 git -C "$S/kernel" fetch -q origin && git -C "$S/kernel" checkout -q origin/android-3.10 -b android-3.10) ||
  echo "cannot fetch the kernel"

# ---- 6. Switch to another branch and back; refusals.
out=$(run controls kernel android-3.18 click Button5 wait kernel android-3.10 click Button5 wait kernel "" click Button5 \
  kernel 'a&b' click Button5 kernel android-3.10 branch 'x y' click Button3)
echo "$out"
check "switch: enabled by the fetched kernel" has "Button5${tab}TButton${tab}切换${tab}1${tab}1"
check "switch: messages" [ "$(msgs)" = "切换LINUX内核完成!   |切换LINUX内核完成!   |请先选择内核版本!   |源代码保存目录或分支名含有空格或特殊字符！|源代码保存目录或分支名含有空格或特殊字符！" ]
check "switch: back on android-3.10" [ "$(head_of "$S/kernel")" = "ref: refs/heads/android-3.10" ]
check "switch: android-3.18 made from origin" [ "$(git -C "$S/kernel" rev-parse android-3.18)" = "$(git --git-dir="$work/repos/kernel/common.git" rev-parse android-3.18)" ]
check "switch: the script is deleted" gone_soon "$S/initdir/nhqh.bat"
out=$(run kernel android-3.18 click Button5 wait)
check "switch: to an existing local branch" [ "$(msgs)" = "切换LINUX内核完成!   " ]
check "switch: HEAD names it" [ "$(head_of "$S/kernel")" = "ref: refs/heads/android-3.18" ]
out=$(run kernel nosuch click Button5 wait)
check "switch: a branch the server lacks fails" [ "$(msgs)" = "切换LINUX内核失败!   " ]
check "switch: HEAD unchanged" [ "$(head_of "$S/kernel")" = "ref: refs/heads/android-3.18" ]

# ---- 7. Closing during a switch is refused; the switch then completes.
export GITSTUB_BLOCK="checkout" GITSTUB_RELEASE=$work/release GITSTUB_BLOCKED=$work/blocked
rm -f "$work/release" "$work/blocked"
out=$(run kernel android-3.4 click Button5 wait-file "$(winpath "$work")\\blocked" close click Button3 \
  touch "$(winpath "$work")\\release" wait)
echo "$out"
check "switch close: refused, then a start refused, then done" \
  [ "$(msgs)" = "切换LINUX内核,不可退出!   |正在运行，请稍候！|切换LINUX内核完成!   " ]
check "switch close: the window stayed" has "OPEN"
check "switch close: HEAD names the branch" [ "$(head_of "$S/kernel")" = "ref: refs/heads/android-3.4" ]
check "switch close: no script left running" no_cmd_left
unset GITSTUB_BLOCK GITSTUB_RELEASE GITSTUB_BLOCKED

# ---- 8. An empty FETCH_HEAD (the server's manifest repository still empty)
# pulls the manifest again; the kernel query never runs in the manifest.
mv "$work/repos/platform/manifest.git" "$work/repos/platform/full.git"
git init -q --bare "$work/repos/platform/manifest.git"
: >"$work/stub.log"
run branch android-4.4 click Button3 wait >"$work/out8" &
runner=$!
deadline=$((SECONDS + 60))
until grep -q "manifest${tab}pull${tab}ran" "$work/stub.log" 2>/dev/null || [ $SECONDS -ge $deadline ]; do sleep 0.05; done
rm -rf "$work/repos/platform/manifest.git" && mv "$work/repos/platform/full.git" "$work/repos/platform/manifest.git"
wait "$runner"
out=$(cat "$work/out8")
echo "$out"
check "empty fetch: 初始化成功" [ "$(msgs)" = "初始化成功" ]
check "empty fetch: the pull repeated" [ "$(grep -c "manifest${tab}pull${tab}ran" "$work/stub.log")" -ge 2 ]
check "empty fetch: no kernel query in the manifest" bash -c "! grep -q 'manifest${tab}remote show' '$work/stub.log'"

# ---- 9. A link inside the old manifest is removed, never followed: what it
# points at survives.
mkdir -p "$work/outside" && echo keep >"$work/outside/keep.txt"
ln -s "$work/outside" "$S/initdir/manifest/link"
out=$(run branch android-4.4 click Button3 wait)
echo "$out"
check "link: the linked folder's file survives" [ "$(cat "$work/outside/keep.txt")" = keep ]
check "link: a result is reported" [ -n "$(msgs)" ]
rm -f "$S/initdir/manifest/link"

# ---- 10. initdir\nh itself a link to a folder elsewhere: never listed or
# written through. Wine opens a link's target even when asked for the link,
# so the link cannot go without its target there: it stays, and the
# initialisation stops before it makes anything in its place.
mkdir -p "$work/outside2" && echo keep >"$work/outside2/keep.txt"
rm -rf "$S/initdir/nh" && ln -s "$work/outside2" "$S/initdir/nh"
out=$(run branch android-4.4 click Button3 wait)
echo "$out"
check "nh link: the linked folder's file survives" [ "$(cat "$work/outside2/keep.txt")" = keep ]
check "nh link: nothing written through it" [ "$(ls -A "$work/outside2")" = keep.txt ]
check "nh link: the link stays under Wine" [ -L "$S/initdir/nh" ]
check "nh link: 初始化失败" [ "$(msgs)" = "初始化失败" ]
rm -f "$S/initdir/nh"

finish
