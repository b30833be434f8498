#!/usr/bin/env bash
# Installs what Trakvio needs, builds it and runs the main job: the track
# list of the shipped sample logs, as trakvio-cli prints it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target trakvio-cli
build/trakvio-cli info data/samples/*.gpx
