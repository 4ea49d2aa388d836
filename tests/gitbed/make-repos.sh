#!/usr/bin/env bash
# Makes the git server's repositories for the tests, with the host's git, as
# bare repositories under BASE/repos, and a HOME for the git stand-in under
# BASE/home (user identity, pull.rebase=false). Dates and identities are
# fixed, so the commit ids are the same on every run.
# Usage: make-repos.sh BASE
#
# BASE/repos/platform/manifest.git  branches android-4.4 (HEAD) and android-5.0;
#   default.xml names its branch in <default revision=...> and lists the
#   projects below.
# BASE/repos/kernel/common.git      branches android-3.4, android-3.10 (HEAD),
#   android-3.18.
# One repository per manifest project, branches android-4.4 and android-5.0:
#   platform/build.git                        path="build", holds core/root.mk
#   platform/frameworks/base.git              path="frameworks/base" (nested)
#   platform/prebuilts/gcc/arm-eabi-4.8.git   path="prebuilts/gcc/arm-eabi-4.8"
#                                             (ends in a digit)
#   platform/docs.git                         no path attribute
# Every branch holds a file BRANCH with its name and a newline.
set -euo pipefail
base=$1
repos=$base/repos
PLATFORM_BRANCHES="android-4.4 android-5.0"
KERNEL_BRANCHES="android-3.4 android-3.10 android-3.18"
KERNEL_HEAD=android-3.10

export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null LC_ALL=C
export GIT_AUTHOR_NAME="Test Bed" GIT_AUTHOR_EMAIL="bed@example.com"
export GIT_COMMITTER_NAME="Test Bed" GIT_COMMITTER_EMAIL="bed@example.com"
export GIT_AUTHOR_DATE="2014-06-01T12:00:00Z" GIT_COMMITTER_DATE="2014-06-01T12:00:00Z"

mkdir -p "$base/home"
cat > "$base/home/.gitconfig" <<'CFG'
[user]
	name = Test Bed
	email = bed@example.com
[pull]
	rebase = false
[init]
	defaultBranch = master
CFG

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# repository name, HEAD branch, branches; a function fill_<kind> BRANCH
# writes each branch's files into the current directory.
make_repo() {
  local name=$1 head=$2 kind=$3; shift 3
  local work=$scratch/$name
  mkdir -p "$work"
  git -C "$work" init -q -b "$1"
  local first=1
  for branch in "$@"; do
    if [ $first -eq 0 ]; then git -C "$work" checkout -q -b "$branch"; fi
    first=0
    (cd "$work" && "fill_$kind" "$branch" && printf '%s\n' "$branch" > BRANCH)
    git -C "$work" add -A
    git -C "$work" commit -q -m "$name $branch"
  done
  mkdir -p "$(dirname "$repos/$name.git")"
  rm -rf "$repos/$name.git"
  git clone -q --bare "$work" "$repos/$name.git"
  git -C "$repos/$name.git" symbolic-ref HEAD "refs/heads/$head"
}

fill_manifest() {
  cat > default.xml <<XML
<?xml version="1.0" encoding="UTF-8"?>
<manifest>
  <remote name="origin" fetch=".." />
  <default revision="$1" remote="origin" />
  <!-- projects fetched by the download script -->
  <project path="build" name="platform/build" />
  <project path="frameworks/base" name="platform/frameworks/base" />
  <project path="prebuilts/gcc/arm-eabi-4.8" name="platform/prebuilts/gcc/arm-eabi-4.8" />
  <project name="platform/docs" />
</manifest>
XML
}
fill_kernel() { printf 'VERSION = %s\n' "$1" > Makefile; }
fill_build() { mkdir -p core && printf '### %s\ninclude build/core/main.mk\n' "$1" > core/root.mk; }
fill_plain() { printf '%s\n' "$1" > README; }

make_repo platform/manifest android-4.4 manifest $PLATFORM_BRANCHES
make_repo kernel/common $KERNEL_HEAD kernel $KERNEL_BRANCHES
make_repo platform/build android-4.4 build $PLATFORM_BRANCHES
for p in platform/frameworks/base platform/prebuilts/gcc/arm-eabi-4.8 platform/docs; do
  make_repo "$p" android-4.4 plain $PLATFORM_BRANCHES
done
