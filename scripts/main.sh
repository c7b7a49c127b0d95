#!/usr/bin/env bash
# Installs what the project needs, builds it, and runs the main job: the PBX
# simulator with the provider and tapicmd (scripts/demo.sh). Options are
# handed to demo.sh; paths in them are taken from the top of the repository.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${VELKOR_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF
cmake --build "$build"

bash scripts/demo.sh "$build/bin" "$@"
