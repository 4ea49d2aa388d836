#!/usr/bin/env bash
# Times the open command on a large generated image: builds the image once
# (make_image), opens it through the session driver under Wine and prints the
# time to "读取完成！" and the throughput.
#   bench/bench_open.sh [MIB [OBJECTS]]      (defaults: 1024 MiB, 20000 objects)
set -euo pipefail
source "$(dirname "$0")/bench-setup.sh" open 1024 "$@"
image="$work/bench-${mib}m-${objects}.img"
export BENCH_IMAGE="$image" BENCH_MIB="$mib" BENCH_OBJECTS="$objects" BENCH_BUILD="$build" BENCH_WORK="$work"
"$top/scripts/with-wine.sh" bash -c '
  set -euo pipefail
  if [ ! -f "$BENCH_IMAGE" ]; then
    "$WINE" "$BENCH_BUILD/bench/make_image.exe" "$(winpath "$BENCH_IMAGE")" "$BENCH_MIB" "$BENCH_OBJECTS"
  fi
  bytes=$(stat -c %s "$BENCH_IMAGE")
  # The WorkFile goes beside the driver; the first run warms the page cache.
  best=""
  for run in 1 2 3; do
    out=$(cd "$BENCH_WORK" && "$WINE" "$BENCH_BUILD/tests/ostrivan-driver.exe" open "$(winpath "$BENCH_IMAGE")" status | tr -d "\r")
    ms=$(printf "%s\n" "$out" | awk -F"\t" "\$1==\"TIME\" && \$2==\"open\" {print \$3}")
    state=$(printf "%s\n" "$out" | awk -F"\t" "\$1==\"PANEL\" && \$2==\"4\" {print \$3}")
    echo "run $run: ${ms} ms, panel 4: $state"
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  awk -v b="$bytes" -v ms="$best" -v n="$BENCH_OBJECTS" -v goal="$BENCH_GOAL_SCAN_MBPS" \
    "BEGIN { printf \"open: %.1f MiB, %d objects, best %d ms, %.0f MB/s (goal at least %s)\n\", b/1048576, n, ms, (b/1e6)/(ms/1000), goal }"
'
