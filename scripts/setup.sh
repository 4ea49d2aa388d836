#!/usr/bin/env bash
# Installs everything the build and the tests need from Debian's packages.
# Safe to run again: it only installs what is missing.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
here=$(cd "$(dirname "$0")" && pwd)
source "$here/host32.sh"

need=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake make wine wine64 xvfb xauth x11-utils
      fonts-wqy-zenhei fonts-arphic-uming binutils
      fonts-wine googletest git imagemagick x11-apps libarchive-tools unrar-free
      locales procps unyaffs python3 clang libclang-rt-14-dev)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  # An index that fails to download (a mirror in mid-sync) leaves apt with
  # the lists it had; the install below says whether they suffice.
  apt-get update -qq || echo "setup: apt-get update reported errors; going on with the lists it has"
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The shipped programs are 32-bit: where the kernel runs 32-bit code, wine32
# lets the tests run them too. Debian's i386 index is sometimes out of step
# with amd64, and then apt refuses wine32; the i386 architecture is taken out
# again so that it cannot disturb later updates and installs.
if ! host_runs_32bit; then
  echo "setup: this host runs no 32-bit code; the tests use the 64-bit build"
elif ! wine32_works; then
  dpkg --add-architecture i386
  if { apt-get update -qq && apt-get install -y -qq --no-install-recommends wine32:i386; } >/tmp/setup-wine32.log 2>&1 &&
    wine32_works; then
    echo "setup: wine32 installed"
  else
    echo "setup: wine32 could not be installed (see /tmp/setup-wine32.log); the tests use the 64-bit build"
    if [ -z "$(dpkg-query -W -f='${binary:Package}\n' 2>/dev/null | grep ':i386$')" ]; then
      dpkg --remove-architecture i386 || true
      apt-get update -qq >/dev/null 2>&1 || true
    fi
  fi
fi

# Wine takes the ANSI code page from the locale; names and command lines only
# convert right when the locale really exists.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
echo "setup: all packages present"
