#!/usr/bin/env bash
# Times "添加目录" of a host folder of many files through the session driver,
# then the rebuild ("整理另存", ECC kind 1) of the image that holds them, and
# "全部导出" of the same data from the rebuilt image for comparison (best of
# two runs each); checks that the exported files equal the host folder.
#   bench/bench_add.sh [MIB [FILES]]      (defaults: 550 MiB, 8000 files)
set -euo pipefail
source "$(dirname "$0")/bench-setup.sh" add 550 "${1:-550}" "${2:-8000}"
cmake --build "$build" -j"$(nproc)" --target make_test_image >/dev/null
host="$work/host-${mib}m-${objects}"
if [ ! -d "$host" ]; then
  # Sizes spread evenly around the mean, so that small and large files mix;
  # a few folders of a few hundred files each.
  mkdir -p "$host.tmp"
  mean=$(( mib * 1048576 / objects ))
  for ((i = 0; i < objects; i++)); do
    dir="$host.tmp/d$(( i / 400 ))"
    [ -d "$dir" ] || mkdir -p "$dir"
    size=$(( (i * 7919 % 1000) * 2 * mean / 1000 ))
    head -c "$size" /dev/urandom > "$dir/f$i.bin"
  done
  mv "$host.tmp" "$host"
fi
export BENCH_HOST="$host" BENCH_BUILD="$build" BENCH_WORK="$work"
"$top/scripts/with-wine.sh" bash -c '
  set -euo pipefail
  ms_of() { awk -F"\t" -v c="$1" "\$1==\"TIME\" && \$2==c {print \$3}"; }
  rm -f "$BENCH_WORK/out.img" "$BENCH_WORK/base.img"
  "$WINE" "$BENCH_BUILD/tests/make_test_image.exe" "$(winpath "$BENCH_WORK/base.img")"
  bytes=$(du -sb --apparent-size "$BENCH_HOST" | cut -f1)
  files=$(find "$BENCH_HOST" -type f | wc -l)
  # Both sides read warm files: the host folder here, the rebuilt image
  # (just written) for the export. Best of two runs each; the WorkFile goes
  # beside the driver.
  find "$BENCH_HOST" -type f -exec cat {} + >/dev/null
  add_ms="" save_ms="" export_ms=""
  for run in 1 2; do
    out=$(cd "$BENCH_WORK" && "$WINE" "$BENCH_BUILD/tests/ostrivan-driver.exe" open "$(winpath "$BENCH_WORK/base.img")" \
          add-dir "$(winpath "$BENCH_HOST")" save "$(winpath "$BENCH_WORK/out.img")" 1 0 | tr -d "\r")
    printf "%s\n" "$out" | grep "^MSG" || true
    ms=$(printf "%s\n" "$out" | ms_of add-dir)
    if [ -z "$add_ms" ] || [ "$ms" -lt "$add_ms" ]; then add_ms=$ms; fi
    ms=$(printf "%s\n" "$out" | ms_of save)
    if [ -z "$save_ms" ] || [ "$ms" -lt "$save_ms" ]; then save_ms=$ms; fi
  done
  for run in 1 2; do
    rm -rf "$BENCH_WORK/export"
    out=$(cd "$BENCH_WORK" && "$WINE" "$BENCH_BUILD/tests/ostrivan-driver.exe" open "$(winpath "$BENCH_WORK/out.img")" \
          export-all "$(winpath "$BENCH_WORK/export")" | tr -d "\r")
    ms=$(printf "%s\n" "$out" | ms_of export-all)
    if [ -z "$export_ms" ] || [ "$ms" -lt "$export_ms" ]; then export_ms=$ms; fi
  done
  outbytes=$(stat -c %s "$BENCH_WORK/out.img")
  rate() { awk -v b="$1" -v ms="$2" "BEGIN{printf \"%.0f\", (b/1e6)/((ms>0?ms:1)/1000)}"; }
  echo "add-dir: $files files, $bytes bytes in ${add_ms} ms, $(rate "$bytes" "$add_ms") MB/s"
  echo "export-all of the same data: ${export_ms} ms, $(rate "$bytes" "$export_ms") MB/s (goal: adding no slower)"
  echo "rebuild, ECC kind 1: ${save_ms} ms for $outbytes bytes, $(rate "$outbytes" "$save_ms") MB/s (goal at least $BENCH_GOAL_REBUILD_MBPS)"
  diff -rq "$BENCH_HOST" "$BENCH_WORK/export/$(basename "$BENCH_HOST")" >/dev/null && echo "exported files equal the host folder" || echo "exported files DIFFER"
'
