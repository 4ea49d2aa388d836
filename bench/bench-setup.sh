# Sourced by the benchmarks: the goals (goals.sh), builds the image generator
# and the session driver in the test build and makes the benchmark's work
# folder.
#   source bench-setup.sh NAME DEFAULT_MIB [MIB [OBJECTS]]
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$top/bench/goals.sh"
build="${OSTRIVAN_BUILD_DIR:-$top/build}"
export OSTRIVAN_BUILD_DIR="$build"
mib="${3:-$2}"
objects="${4:-20000}"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target make_image ostrivan-driver >/dev/null
work="$build/bench-$1"
mkdir -p "$work"
