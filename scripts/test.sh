#!/usr/bin/env bash
# Installs what the project needs, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. CI runs exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${VELKOR_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELKOR_SANITIZE=ON \
    -DVELKOR_BUILD_BENCH=ON
cmake --build "$build"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Windows are drawn off screen; nothing in the tests needs a display.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
