#!/usr/bin/env bash
# Every speed figure of ostrivan in one run, beside Debian's unyaffs on the
# same images (built by make_image): the scan (open) in MB/s of image,
# "全部导出" against unyaffs, the rebuild ("整理另存", ECC kind 1) in MB/s of
# output, and "全部导出" of a folder of 5000 files against unyaffs. Medians of
# RUNS runs, ours and unyaffs taking turns; the load average is shown with
# each run, since the machine may be shared.
#   bench/bench_all.sh [RUNS [MIB [OBJECTS]]]   (defaults: 5 runs, 512 MiB, 8000 objects)
# The goals are those of goals.sh.
set -euo pipefail
runs="${1:-5}"
shift || true
source "$(dirname "$0")/bench-setup.sh" all 512 "${1:-512}" "${2:-8000}"
command -v unyaffs >/dev/null || { echo "bench_all: unyaffs is missing (apt-get install unyaffs)" >&2; exit 1; }
export BENCH_RUNS="$runs" BENCH_MIB="$mib" BENCH_OBJECTS="$objects" BENCH_BUILD="$build" BENCH_WORK="$work"
export BENCH_IMAGE="$work/offline-${mib}m-${objects}.img" BENCH_FLAT="$work/flat-5000.img"
"$top/scripts/with-wine.sh" bash -c '
  set -euo pipefail
  winpath() { "$WINE" winepath -w "$1" 2>/dev/null; }
  ms_of() { awk -F"\t" -v c="$1" "\$1==\"TIME\" && \$2==c {print \$3}"; }
  median() { sort -n | awk "{v[NR]=\$1} END {print (NR%2) ? v[(NR+1)/2] : int((v[NR/2]+v[NR/2+1])/2)}"; }
  ratio() { awk -v a="$1" -v b="$2" "BEGIN { printf \"%.2f\n\", a / (b > 0 ? b : 1) }"; }
  median_ratio() { sort -g | awk "{v[NR]=\$1} END {print (NR%2) ? v[(NR+1)/2] : sprintf(\"%.2f\", (v[NR/2]+v[NR/2+1])/2)}"; }
  now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
  load() { cut -d" " -f1 /proc/loadavg; }
  [ -f "$BENCH_IMAGE" ] || "$WINE" "$BENCH_BUILD/bench/make_image.exe" --offline "$(winpath "$BENCH_IMAGE")" "$BENCH_MIB" "$BENCH_OBJECTS"
  [ -f "$BENCH_FLAT" ] || "$WINE" "$BENCH_BUILD/bench/make_image.exe" --offline --flat "$(winpath "$BENCH_FLAT")" 64 5002
  # ext4 without a journal passes over inodes freed in the last minute (five
  # while their table block is unwritten) when it creates files, which slows
  # whoever creates files next: outputs of an earlier run are removed, written
  # back and given time to age.
  out="$BENCH_WORK/runs"
  rm -rf "$out"
  stamp="$BENCH_WORK/removed-at"
  if [ -f "$stamp" ]; then
    sync
    wait_s=$(( $(cat "$stamp") + 65 - $(date +%s) ))
    if [ "$wait_s" -gt 0 ]; then echo "(waiting $wait_s s: the last run'"'"'s outputs were removed just now)"; sleep "$wait_s"; fi
  fi
  mkdir -p "$out"
  image_bytes=$(stat -c %s "$BENCH_IMAGE")
  : >"$out/scan" ; : >"$out/ours" ; : >"$out/unyaffs" ; : >"$out/save" ; : >"$out/flat-ours" ; : >"$out/flat-unyaffs" ; : >"$out/ratio" ; : >"$out/flat-ratio"
  for i in $(seq 1 "$BENCH_RUNS"); do
    # Each timed step starts with nothing left to write back, so that none
    # pays for the one before it.
    sync
    r=$(cd "$out" && "$WINE" "$BENCH_BUILD/tests/ostrivan-driver.exe" open "$(winpath "$BENCH_IMAGE")" \
          export-all "$(winpath "$out/ours-$i")" | tr -d "\r")
    scan=$(printf "%s\n" "$r" | ms_of open); exp=$(printf "%s\n" "$r" | ms_of export-all)
    sync
    start=$(now_ms); unyaffs -c 2 -s 64 "$BENCH_IMAGE" "$out/unyaffs-$i" >/dev/null; uny=$(( $(now_ms) - start ))
    sync
    r=$(cd "$out" && "$WINE" "$BENCH_BUILD/tests/ostrivan-driver.exe" open "$(winpath "$BENCH_IMAGE")" \
          save "$(winpath "$out/out-$i.img")" 1 0 | tr -d "\r")
    save=$(printf "%s\n" "$r" | ms_of save)
    sync
    r=$(cd "$out" && "$WINE" "$BENCH_BUILD/tests/ostrivan-driver.exe" open "$(winpath "$BENCH_FLAT")" \
          export-all "$(winpath "$out/flat-ours-$i")" | tr -d "\r")
    fexp=$(printf "%s\n" "$r" | ms_of export-all)
    sync
    start=$(now_ms); unyaffs -c 2 -s 64 "$BENCH_FLAT" "$out/flat-unyaffs-$i" >/dev/null; funy=$(( $(now_ms) - start ))
    echo "run $i: scan $scan ms, export-all $exp ms, unyaffs $uny ms, rebuild $save ms; 5000 files in one folder: export-all $fexp ms, unyaffs $funy ms (load $(load))"
    echo "$scan" >>"$out/scan"; echo "$exp" >>"$out/ours"; echo "$uny" >>"$out/unyaffs"; echo "$save" >>"$out/save"
    echo "$fexp" >>"$out/flat-ours"; echo "$funy" >>"$out/flat-unyaffs"
    ratio "$exp" "$uny" >>"$out/ratio"; ratio "$fexp" "$funy" >>"$out/flat-ratio"
    if [ "$i" -gt 1 ]; then
      cmp -s "$out/out-1.img" "$out/out-$i.img" || echo "run $i: rebuild output DIFFERS from run 1" >>"$out/notes"
      rm -f "$out/out-$i.img"
    fi
  done
  scan=$(median <"$out/scan"); exp=$(median <"$out/ours"); uny=$(median <"$out/unyaffs"); save=$(median <"$out/save")
  fexp=$(median <"$out/flat-ours"); funy=$(median <"$out/flat-unyaffs")
  out_bytes=$(stat -c %s "$out/out-1.img")
  mbps() { awk -v b="$1" -v ms="$2" "BEGIN { printf \"%.0f\", (b / 1e6) / ((ms > 0 ? ms : 1) / 1000) }"; }
  echo "---- medians of $BENCH_RUNS runs; image $image_bytes bytes, $BENCH_OBJECTS objects"
  echo "scan (open): $scan ms, $(mbps "$image_bytes" "$scan") MB/s (goal at least $BENCH_GOAL_SCAN_MBPS)"
  echo "export-all: $exp ms; unyaffs: $uny ms; ratio of the medians $(ratio "$exp" "$uny"), median of the runs'"'"' ratios $(median_ratio <"$out/ratio") (goal at most $BENCH_GOAL_EXPORT_RATIO)"
  echo "rebuild, ECC kind 1: $save ms for $out_bytes bytes, $(mbps "$out_bytes" "$save") MB/s (goal at least $BENCH_GOAL_REBUILD_MBPS)"
  echo "5000 files in one folder: export-all $fexp ms; unyaffs $funy ms; ratio of the medians $(ratio "$fexp" "$funy"), median of the runs'"'"' ratios $(median_ratio <"$out/flat-ratio")"
  # The figures count only when the outputs are right.
  diff -rq "$out/ours-1" "$out/unyaffs-1" >/dev/null && echo "export-all: tree identical to unyaffs'"'"'" || echo "export-all: trees DIFFER"
  diff -rq "$out/flat-ours-1" "$out/flat-unyaffs-1" >/dev/null && echo "5000 files: tree identical to unyaffs'"'"'" || echo "5000 files: trees DIFFER"
  same=yes; [ -s "$out/notes" ] && same=no
  unyaffs -c 2 -s 64 "$out/out-1.img" "$out/rebuilt" >/dev/null
  diff -rq "$out/rebuilt" "$out/unyaffs-1" >/dev/null && rt=identical || rt=DIFFERENT
  echo "rebuild: outputs of all runs the same: $same; unyaffs of the output: $rt to the image'"'"'s tree"
  rm -rf "$out"
  sync
  date +%s >"$stamp"
'
