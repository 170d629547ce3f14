#!/bin/sh
# Builds everything with warnings as errors and runs every test (the 1,000-case stress test
# against GEOS among them); then builds and runs the whole suite again under the address and
# undefined-behaviour sanitizers with leak detection; then the library's tests of work that
# runs on a second thread under the thread sanitizer; then builds the fuzz targets with clang
# and fuzzes each for AREALIS_FUZZ_SECONDS seconds (60 unless set). Ends with CTest's summary
# of the fuzz runs. See ROBUSTNESS.md.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-dependencies.sh
cmake --preset ci
cmake --build --preset ci -j 2
ctest --preset ci

cmake --preset asan
cmake --build --preset asan -j 2
ctest --preset asan

cmake --preset tsan
cmake --build --preset tsan -j 2
ctest --preset tsan

cmake --preset fuzz -DAREALIS_FUZZ_SECONDS="${AREALIS_FUZZ_SECONDS:-60}"
cmake --build --preset fuzz -j 2
ctest --preset fuzz
