#!/usr/bin/env bash
# Configures and builds the libFuzzer targets with clang in a build folder of their own.
# Usage: build_fuzzers.sh SOURCE_DIR FUZZ_BUILD_DIR CLANGXX TARGET...
set -euo pipefail
src="$1" dir="$2" cxx="$3"
shift 3
[ -n "$cxx" ] && [ -x "$cxx" ] || { echo "fuzz build: clang++ not found (./ger installs clang)" >&2; exit 1; }
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGER_FUZZ=ON -DGER_SHELL=OFF -DGER_BENCH=OFF >/dev/null
fi
targets=()
for t in "$@"; do
  targets+=("fuzz_$t")
  mkdir -p "$dir/work/$t" "$dir/findings"
done
cmake --build "$dir" -j "${GER_JOBS:-2}" --target "${targets[@]}"
