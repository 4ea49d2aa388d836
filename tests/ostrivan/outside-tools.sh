#!/usr/bin/env bash
# Compares with Debian's unyaffs: the files the program extracts from an
# offline-built image, and the files unyaffs extracts from the program's
# rebuilt image (tags at 2048), must equal what unyaffs extracts from the
# original. Usage: outside-tools.sh BUILD_DIR
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
command -v unyaffs >/dev/null || { echo "unyaffs is not installed"; exit 1; }
work=$(mktemp -d)
drive="$WINEPREFIX/dosdevices/p:"
trap 'rm -rf "$work"; rm -f "$drive"' EXIT
run() { "$here/../../scripts/wine-exec.sh" "$@"; }

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
# The driver's listings keep their formats: checks from outside rely on them.
run "$build/tests/ostrivan-driver.exe" controls open "$(winpath "$work/in.img")" tree cd /system/etc ls status \
  | tr -d '\r' > "$work/listing.txt"
has() { grep -qxF "$1" "$work/listing.txt"; }
check "controls line" has "$(printf 'ToolButton10\tTToolButton\t选取 yaffs2 IMG\t1\t1')"
check "tree root line" has "$(printf '/\t3\t0\t40755\t0\t0\t0\t1')"
check "tree file line" has "$(printf '/system/etc/f5000.bin\t1\t5000\t100644\t0\t0\t1600000000\t406')"
check "ls line" has "$(printf 'f2049.bin\t404\t1')"
check "status line" has "$(printf 'PANEL\t4\t读取完成！')"
# Edits made through the driver reach an image that unyaffs reads.
run "$build/tests/ostrivan-driver.exe" open "$(winpath "$work/in.img")" cd /system select app rename apps \
  select build.prop chmod 600 select apps select build.prop props mkdir 新目录 cd /system/etc select f0.bin f1.bin delete \
  save "$(winpath "$work/edited.img")" 1 0 | tr -d '\r' > "$work/edits.txt"
unyaffs -c 2 -s 64 "$work/edited.img" "$work/edited" >/dev/null
check "renamed folder" test -f "$work/edited/system/apps/Settings.apk"
check "old name gone" test ! -e "$work/edited/system/app"
check "deleted files gone" bash -c "test ! -e '$work/edited/system/etc/f0.bin' && test ! -e '$work/edited/system/etc/f1.bin'"
check "other files stay" cmp "$work/oracle/system/etc/f5000.bin" "$work/edited/system/etc/f5000.bin"
check "new folder" test -d "$work/edited/system/新目录"
check "changed mode" test "$(stat -c %a "$work/edited/system/build.prop")" = 600
has() { grep -qxF "$1" "$work/edits.txt"; }
check "input line" has "$(printf 'INPUT\t重命名\t输入名称         \tapp')"
check "prop line" has "$(printf 'PROP\tLabel7\trw------- (0600)')"
check "details line" has "$(printf 'PANEL\t5\t类型：文件, 大小：17字节, 详细：rw------- (0600)')"
# Host files and folders added through the driver reach an image that unyaffs
# reads; a link back up the host folder is not followed, a drive root is
# named by its letter (drive P: is made for the run).
host="$work/host"
mkdir -p "$host/tree/sub/deeper" "$host/tree/empty" "$host/drive/d1"
head -c 5000 /dev/urandom > "$host/tree/sub/b.bin"
: > "$host/tree/sub/deeper/zero"
head -c 2049 /dev/urandom > "$host/tree/中文.bin"
printf 'hello' > "$host/tree/a.txt"
ln -s .. "$host/tree/sub/loop"
printf 'new build.prop' > "$host/build.prop"
head -c 3000 /dev/urandom > "$host/loose.bin"
printf 'x' > "$host/drive/d1/x"
ln -sfn "$host/drive" "$drive"
run "$build/tests/ostrivan-driver.exe" open "$(winpath "$work/in.img")" cd /system add-dir "$(winpath "$host/tree")" \
  overwrite yes add-files "$(winpath "$host/build.prop")" "$(winpath "$host/loose.bin")" add-dir 'P:\' \
  save "$(winpath "$work/added.img")" 1 0 | tr -d '\r' > "$work/adds.txt"
rm -f "$drive"
unyaffs -c 2 -s 64 "$work/added.img" "$work/added" >/dev/null
check "added folder" diff -r -x loop "$host/tree" "$work/added/system/tree"
check "link not followed" test ! -e "$work/added/system/tree/sub/loop"
check "replaced file" cmp "$host/build.prop" "$work/added/system/build.prop"
check "added file" cmp "$host/loose.bin" "$work/added/system/loose.bin"
check "drive root by its letter" cmp "$host/drive/d1/x" "$work/added/system/P/d1/x"
check "image files stay" cmp "$work/oracle/system/etc/f5000.bin" "$work/added/system/etc/f5000.bin"
has() { grep -qxF "$1" "$work/adds.txt"; }
check "overwrite prompt" has "$(printf 'FORM\t提示')"
check "one failure message" test "$(grep -c '^MSG' "$work/adds.txt")" = 1
check "link counted" has "$(printf 'MSG\t提示\t有1个对象添加失败！')"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
