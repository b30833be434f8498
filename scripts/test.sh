#!/usr/bin/env bash
# Installs what Trakvio needs, then builds and runs every test three ways:
# the normal build, an AddressSanitizer + UndefinedBehaviorSanitizer build,
# and the libFuzzer targets (clang) over their seed corpora.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

echo "== normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
# Leaflet from the npm registry, for the test that opens a page in Chromium.
scripts/fetch-leaflet.sh build/npm
(cd build && ctest --output-on-failure -j "$jobs")

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRAKVIO_SANITIZE=ON -DTRAKVIO_BENCH=OFF
cmake --build build-asan -j "$jobs"
scripts/fetch-leaflet.sh build-asan/npm
(cd build-asan && ctest --output-on-failure -j "$jobs")

echo "== fuzz targets"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRAKVIO_FUZZ=ON -DTRAKVIO_TESTS=OFF -DTRAKVIO_DESKTOP=OFF \
    -DTRAKVIO_BENCH=OFF
cmake --build build-fuzz -j "$jobs"
(cd build-fuzz && ctest --output-on-failure)

echo "== all tests passed"
