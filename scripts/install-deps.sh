#!/usr/bin/env bash
# Installs the Debian packages Trakvio builds and tests with. Runs apt-get
# through sudo unless it already runs as root.
set -euo pipefail

packages=(
    # Build: compiler, CMake, tests, benchmarks.
    g++ make cmake libgtest-dev libbenchmark-dev
    # Fuzz targets: clang with the libFuzzer and sanitizer runtimes.
    clang libclang-rt-dev
    # Time zones used by the tests; GPSBabel as an independent GPX reader.
    tzdata gpsbabel gdal-bin
    # Libraries: zip archives and KMZ, SQLite logger databases (bound at run
    # time), EMF graph files, text metrics and the fonts they measure.
    pkg-config zlib1g-dev libzip-dev libsqlite3-dev libsqlite3-0 libemf-dev
    libfreetype-dev libfontconfig-dev fonts-liberation2 fonts-noto-cjk
    # The desktop program: Qt 6 Widgets with print support and Qt Test, the
    # platform plugins (offscreen for tests and screenshots), libcurl for map
    # tiles, libserialport for finding GPS loggers and receivers, xdg-utils
    # for the desktop's default applications.
    qt6-base-dev qt6-qpa-plugins libgl-dev libcurl4-openssl-dev libserialport-dev xdg-utils
    # Benchmark input generators.
    python3
    # Independent readers used by the tests: an SVG renderer, an XML checker, a headless
    # browser for the web map pages.
    librsvg2-bin libxml2-utils chromium unzip
    # An EMF reader: LibreOffice converts the EMF graphs to pictures.
    libreoffice-draw-nogui
)
# npm fetches Leaflet for the page tests; Node.js builds may already carry it.
if ! command -v npm >/dev/null 2>&1; then
    packages+=(npm)
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
