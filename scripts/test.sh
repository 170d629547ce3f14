#!/bin/sh
# Builds everything with warnings as errors and runs every test; ends with CTest's summary.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-dependencies.sh
cmake --preset ci
cmake --build --preset ci -j 2
ctest --preset ci
