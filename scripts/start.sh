#!/bin/sh
# Builds the release configuration and starts the program.
# Until the desktop program is part of the build, this builds everything and runs each
# benchmark program briefly instead.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-dependencies.sh
cmake --preset release
cmake --build --preset release -j 2

found=0
for benchmark in build/release/bin/bench_*; do
    [ -x "$benchmark" ] || continue
    found=1
    echo "== $benchmark"
    "$benchmark" --benchmark_min_time=0.05
done
[ "$found" -eq 1 ] || echo "No benchmark programs built yet."
