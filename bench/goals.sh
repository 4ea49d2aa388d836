# Sourced by the benchmarks (through bench-setup.sh): the speed goals, one set
# that every benchmark prints its figures against.
# "全部导出" takes at most this many times Debian's unyaffs on the same image.
export BENCH_GOAL_EXPORT_RATIO=1.5
# The rebuild ("整理另存", ECC kind 1) writes at least this many MB/s of output.
export BENCH_GOAL_REBUILD_MBPS=400
# The scan (open) reads at least this many MB/s of image.
export BENCH_GOAL_SCAN_MBPS=1000
