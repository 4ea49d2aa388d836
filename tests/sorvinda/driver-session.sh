#!/usr/bin/env bash
# The session driver of the download manager, run as checks from outside run
# it: a copy beside its own settings files, the source folder a working
# folder made with git, and its listings checked line by line.
# Usage: driver-session.sh DRIVER_EXE GIT_FOLDERS
set -u
driver=$1 folders=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
source "$here/../tools/extract-checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$driver" "$work/sorvinda-driver.exe"
# A copy: the start-up deletes and the log view reads files in it.
cp -r "$folders/full" "$work/src"
src=$(winpath "$work/src")
mkdir -p "$work/Git/bin" && printf 'MZ' >"$work/Git/bin/git.exe"
printf '%s\r\n' "$src" | iconv -f UTF-8 -t GBK >"$work/srcpath.dat"
printf '%s\r\n' "line 1" "line 2" >"$work/src/clone_result1.log"
run() { "$here/../../scripts/wine-exec.sh" "$work/sorvinda-driver.exe" "$@" 2>/dev/null | tr -d '\r'; }

out=$(run controls lists kernel android-2.6.32 branch donut log click Label2 answer no close)
echo "$out"
has() { printf '%s\n' "$out" | grep -qxF -- "$1"; }
tab=$'\t'
check "caption" has "Form1${tab}TForm${tab}Sorvinda ver 1.3${tab}1${tab}1"
check "source folder restored" has "LabeledEdit1${tab}TLabeledEdit${tab}${src}${tab}1${tab}1"
check "git folder beside the program" has "LabeledEdit2${tab}TLabeledEdit${tab}$(winpath "$work")\\Git\\${tab}1${tab}1"
check "platform branch from HEAD" has "ComboBox1${tab}TComboBox${tab}cupcake${tab}1${tab}1"
check "kernel head branch" has "ComboBox2${tab}TComboBox${tab}master${tab}1${tab}1"
check "download enabled" has "Button1${tab}TButton${tab}开始更新下载${tab}1${tab}1"
check "initialise disabled" has "Button3${tab}TButton${tab}初始化${tab}0${tab}1"
check "switch enabled" has "Button5${tab}TButton${tab}切换${tab}1${tab}1"
check "platform list" [ "$(printf '%s\n' "$out" | grep -c "^ComboBox1${tab}[a-z]*$")" = 4 ]
check "kernel list" has "ComboBox2${tab}android-2.6.32"
check "memo in one listing line" has "Memo1${tab}TMemo${tab}line 1\\nline 2${tab}1${tab}1"
check "log view" [ "$(printf '%s\n' "$out" | sed -n '/^TIME\tbranch/,/^TIME\tlog/p' | sed '1d;$d')" = $'line 1\nline 2' ]
check "help form" has "FORM${tab}关于帮助"
check "closed without a question" has "CLOSED"
check "a time line per command" [ "$(printf '%s\n' "$out" | grep -c '^TIME')" = 8 ]

# Arguments reach the driver whole, Chinese names too.
run save-archive "$(winpath "$work/存档.rar")" close >/dev/null
check "a Chinese path argument" [ -s "$work/存档.rar" ]

help=$(run --help)
check "help lists save-archive" grep -q "save-archive PATH" <<<"$help"
finish
