#!/usr/bin/env bash
# Set up, build, and run the main job: list the instruments and capture from
# the emulated instrument ("SW Emulated device").
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
build/tools/kvx/kvx list
build/tools/kvx/kvx modes EMU001
build/tools/kvx/kvx capture EMU001 --frames 300
