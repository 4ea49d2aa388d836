#!/usr/bin/env bash
# Makes working folders as an initialisation leaves them, with Debian's git:
# two "server" repositories (the manifest with three platform branches, the
# kernel with three branches) and source folders fetched from them.
#   full/       initdir\manifest on branch cupcake, initdir\origin, kernel\.git\FETCH_HEAD
#   no xml/     as full, without the manifest's default.xml and the kernel;
#               its name holds a blank
#   noxml/      as "no xml" under a safe name
set -euo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"
# The program reads git's English texts ("* remote origin").
export HOME="$out" GIT_CONFIG_NOSYSTEM=1 LC_ALL=C LANGUAGE=C
export GIT_AUTHOR_NAME=sorv GIT_AUTHOR_EMAIL=sorv@example.invalid
export GIT_COMMITTER_NAME=sorv GIT_COMMITTER_EMAIL=sorv@example.invalid
g() { git -c init.defaultBranch=master -c advice.detachedHead=false "$@"; }

g init -q "$out/server/manifest"
(cd "$out/server/manifest" && echo '<manifest><default revision="cupcake"/></manifest>' >default.xml &&
  g add default.xml && g commit -qm manifest && for b in cupcake donut eclair; do g branch "$b"; done)
g init -q "$out/server/kernel"
(cd "$out/server/kernel" && echo kernel >README && g add README && g commit -qm kernel &&
  g branch android-2.6.29 && g branch android-2.6.32)

make_src() {
  local dir=$1
  mkdir -p "$dir/initdir"
  g init -q "$dir/initdir/manifest"
  (cd "$dir/initdir/manifest" && g remote add origin "$out/server/manifest" && g fetch -q origin &&
    g checkout -q -b cupcake origin/cupcake)
  g init -q "$dir/initdir/nh"
  (cd "$dir/initdir/nh" && g remote add origin "$out/server/kernel" && g remote show origin >../origin)
}

make_src "$out/full"
g init -q "$out/full/kernel"
(cd "$out/full/kernel" && g fetch -q "$out/server/kernel")
for d in "no xml" noxml; do
  make_src "$out/$d"
  rm "$out/$d/initdir/manifest/default.xml"
done
echo "made $out"
