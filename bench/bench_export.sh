#!/usr/bin/env bash
# Times "全部导出" of a large offline-built image through the session driver
# against Debian's unyaffs extracting the same image, and the rebuild ("整理
# 另存", ECC kind 1) of it in MB/s of output.
#   bench/bench_export.sh [MIB [OBJECTS]]      (defaults: 512 MiB, 20000 objects)
set -euo pipefail
source "$(dirname "$0")/bench-setup.sh" export 512 "$@"
export BENCH_IMAGE="$work/offline-${mib}m-${objects}.img" BENCH_MIB="$mib" BENCH_OBJECTS="$objects"
export BENCH_BUILD="$build" BENCH_WORK="$work"
"$top/scripts/with-wine.sh" bash -c '
  set -euo pipefail
  ms_of() { awk -F"\t" -v c="$1" "\$1==\"TIME\" && \$2==c {print \$3}"; }
  [ -f "$BENCH_IMAGE" ] || "$WINE" "$BENCH_BUILD/bench/make_image.exe" --offline "$(winpath "$BENCH_IMAGE")" "$BENCH_MIB" "$BENCH_OBJECTS"
  rm -rf "$BENCH_WORK/ours" "$BENCH_WORK/unyaffs" "$BENCH_WORK/out.img"
  out=$(cd "$BENCH_WORK" && "$WINE" "$BENCH_BUILD/tests/ostrivan-driver.exe" open "$(winpath "$BENCH_IMAGE")" \
        export-all "$(winpath "$BENCH_WORK/ours")" save "$(winpath "$BENCH_WORK/out.img")" 1 0 | tr -d "\r")
  export_ms=$(printf "%s\n" "$out" | ms_of export-all)
  save_ms=$(printf "%s\n" "$out" | ms_of save)
  start=$(date +%s%N)
  unyaffs -c 2 -s 64 "$BENCH_IMAGE" "$BENCH_WORK/unyaffs" >/dev/null
  unyaffs_ms=$(( ($(date +%s%N) - start) / 1000000 ))
  outbytes=$(stat -c %s "$BENCH_WORK/out.img")
  echo "export-all: ${export_ms} ms; unyaffs: ${unyaffs_ms} ms; ratio $(awk -v a="$export_ms" -v b="$unyaffs_ms" "BEGIN{printf \"%.2f\", a/(b>0?b:1)}") (goal at most $BENCH_GOAL_EXPORT_RATIO)"
  echo "rebuild, ECC kind 1: ${save_ms} ms for $outbytes bytes, $(awk -v b="$outbytes" -v ms="$save_ms" "BEGIN{printf \"%.0f\", (b/1e6)/(ms/1000)}") MB/s (goal at least $BENCH_GOAL_REBUILD_MBPS)"
  diff -rq "$BENCH_WORK/ours" "$BENCH_WORK/unyaffs" >/dev/null && echo "extracted trees are identical" || echo "extracted trees DIFFER"
'
