#!/usr/bin/env bash
# Installs what Trakvio needs, builds it and runs the main job: the demo
# batch script, which converts the example logs of data/examples into web
# map pages, KML, SVG graphs, one archive per day and an index page.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target trakvio-cli
# The script writes beside itself, so it runs on a fresh copy in the build
# folder and the source tree stays clean.
rm -rf build/demo
cp -r data/examples build/demo
build/trakvio-cli run --ini data/_Trakvio.ini build/demo/demo.q9s
echo "Index page: $(pwd)/build/demo/index.htm"
