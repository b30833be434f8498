#!/usr/bin/env bash
# The demo batch: builds trakvio-cli and runs data/examples/demo.q9s, which
# converts the example logs into web map pages, KML, SVG graphs, one archive
# per day and an index page. Run scripts/run.sh once first (it installs what
# the build needs).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target trakvio-cli
# The script writes beside itself, so it runs on a fresh copy in the build
# folder and the source tree stays clean.
rm -rf build/demo
cp -r data/examples build/demo
build/trakvio-cli run --ini data/_Trakvio.ini build/demo/demo.q9s
echo "Index page: $(pwd)/build/demo/index.htm"
