#!/usr/bin/env bash
# Builds the 64-bit program of an older commit for before/after benchmarks:
#
#   tools/bench/build_rev.sh 5fc7654     ->  build/bench/quillon-5fc7654.exe
#
# The commit is checked out into a temporary worktree (removed afterwards) and built there with
# its own CMake files and the MinGW toolchain. Prints the path of the program.
set -euo pipefail

rev=${1:?usage: tools/bench/build_rev.sh COMMIT}
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/bench/quillon-$rev.exe
if [[ -f $out ]]; then
    echo "$out"
    exit 0
fi
mkdir -p "$root/build/bench"
src=$(mktemp -d /tmp/quillon-bench-XXXXXX)
cleanup() { git -C "$root" worktree remove --force "$src" >/dev/null 2>&1 || rm -rf "$src"; }
trap cleanup EXIT
git -C "$root" worktree add --detach "$src" "$rev" >/dev/null 2>&1
cmake -S "$src" -B "$src/build/win64" -DCMAKE_BUILD_TYPE=Release -DQUILLON_WERROR=OFF --log-level=WARNING \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-x86_64.cmake" -DQUILLON_DIST_DIR="$src/dist/x64" >&2
cmake --build "$src/build/win64" -j"${JOBS:-2}" --target quillon >&2
cp "$src/dist/x64/quillon.exe" "$out"
echo "$out"
