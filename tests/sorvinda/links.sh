#!/usr/bin/env bash
# Links in the program's folder (initdir) from end to end, through the
# session driver against git daemon: a link to a file, a link to nothing and
# a link to a folder, each at every place where the initialisation or the
# download writes or deletes. Whatever the run reports, the file the links
# point at keeps its bytes and mode, and nothing appears beside it. Last, a
# manifest branch that holds a link brings it into initdir by git.
# Usage: links.sh DRIVER_EXE GITROOT
source "$(dirname "$0")/e2e-session.sh"

outside=$work/outside
make_outside() {
  rm -rf "$outside" && mkdir -p "$outside" && printf 'keep\n' >"$outside/target.txt" && chmod 444 "$outside/target.txt"
}
make_outside
fingerprint() { (cd "$outside" && ls -A && sha256sum target.txt && stat -c %a target.txt); }
before=$(fingerprint)

# The manifest repository's branch android-link: notes.txt is a link to the
# outside file, as git stores one (mode 120000).
(export GIT_CONFIG_NOSYSTEM=1 HOME=$work/home LC_ALL=C
 git clone -q "$work/repos/platform/manifest.git" "$work/mclone" && cd "$work/mclone" &&
 git checkout -q -b android-link origin/android-4.4 &&
 sed -i 's/revision="android-4.4"/revision="android-link"/' default.xml &&
 ln -s "$outside/target.txt" notes.txt && git add -A && git commit -qm link && git push -q origin android-link) ||
  echo "cannot make the linked branch"

out=$(run branch android-4.4 click Button3 wait)
check "init: 初始化成功" [ "$(msgs)" = "初始化成功" ]
out=$(run kernel android-3.10 click Button1 wait)
check "download: 下载完成!" [ "$(msgs)" = "下载完成!   " ]
# Every file of initdir is there now: each case starts from this state.
cp -a "$S/initdir" "$work/initdir.done"
restore() { make_outside && rm -rf "$S/initdir" && cp -a "$work/initdir.done" "$S/initdir"; }

# place kind action -> the run's report. A link to nothing cannot be seen:
# only a run that makes a file of that name meets it.
expected() {
  case "$3:$2:$1" in
    init:dangling:jd.dat | init:dangling:jdbranch.dat) echo "初始化成功" ;;
    init:*) echo "初始化失败" ;;
    download:dangling:origin) echo "请先初始化!   " ;;
    download:dangling:initbat.bat | download:dangling:manifest/sub/flink) echo "下载完成!   " ;;
    download:*) echo "下载中途断开!   " ;;
  esac
}
for place in origin jd.dat jdbranch.dat initbat.bat manifest/sub/flink; do
  for kind in file dangling folder; do
    for action in init download; do
      restore
      at=$S/initdir/$place
      mkdir -p "$(dirname "$at")" && rm -rf "$at"
      case $kind in
        file) ln -s "$outside/target.txt" "$at" ;;
        dangling) ln -s "$outside/none.txt" "$at" ;;
        folder) ln -s "$outside" "$at" ;;
      esac
      if [ $action = init ]; then
        out=$(run branch android-4.4 click Button3 wait)
      else
        out=$(run branch android-4.4 kernel android-3.10 click Button1 wait)
      fi
      name="$place, $kind link, $action"
      check "$name: the outside file and folder unchanged" [ "$(fingerprint)" = "$before" ]
      want=$(expected "$place" "$kind" "$action")
      check "$name: reported" [ "$(msgs)" = "$want" ]
      [ "$(msgs)" = "$want" ] || printf '%s\n' "$out"
      check "$name: the link stays" [ -L "$at" ]
    done
  done
done

# ---- By git: the download checks the manifest out on android-link, which
# brings the link into initdir\manifest, and stops before its script; the
# next initialisation leaves the link and what it points at alone.
restore
out=$(run branch android-link kernel android-3.10 click Button1 wait)
echo "$out"
check "by git: the link arrived" [ "$(readlink "$S/initdir/manifest/notes.txt")" = "$outside/target.txt" ]
check "by git: the download stops" [ "$(msgs)" = "下载中途断开!   " ]
out=$(run branch android-4.4 click Button3 wait)
echo "$out"
check "by git: 初始化失败" [ "$(msgs)" = "初始化失败" ]
check "by git: the link stays" [ -L "$S/initdir/manifest/notes.txt" ]
check "by git: the outside file and folder unchanged" [ "$(fingerprint)" = "$before" ]

finish
