#!/usr/bin/env bash
# Installs everything the build and the tests need from Debian's packages.
# Safe to run again: it only installs what is missing.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

need=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake make wine wine64 xvfb xauth x11-utils fonts-wqy-zenhei
      fonts-wine googletest git imagemagick x11-apps libarchive-tools unrar-free
      locales procps unyaffs)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# Wine takes the ANSI code page from the locale; names and command lines only
# convert right when the locale really exists.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
echo "setup: all packages present"
