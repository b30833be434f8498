#!/usr/bin/env bash
# Installs a pinned copy of Leaflet from the npm registry into FOLDER
# (FOLDER/node_modules/leaflet/dist/leaflet.{js,css}), for the test that opens
# a written Leaflet page in headless Chromium. Does nothing when that version
# is already there.
#
# usage: scripts/fetch-leaflet.sh FOLDER     (e.g. the build folder's npm/)
set -euo pipefail

version=1.9.4
if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "usage: $0 FOLDER" >&2
    exit 64
fi
folder=$1
package="$folder/node_modules/leaflet/package.json"

if [ -f "$package" ] && grep -q "\"version\": *\"$version\"" "$package" \
    && [ -f "$folder/node_modules/leaflet/dist/leaflet.js" ]; then
    exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
    echo "$0: npm is needed to fetch Leaflet (apt-get install npm)" >&2
    exit 1
fi
mkdir -p "$folder"
npm install --prefix "$folder" --no-save --no-audit --no-fund --no-package-lock "leaflet@$version"
test -f "$folder/node_modules/leaflet/dist/leaflet.js"
