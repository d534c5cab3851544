#!/usr/bin/env bash
# Installs what is missing, builds everything in build/ and runs every test.
# Window tests need an X display: when none is set, a private Xvfb is started.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-} >/dev/null
# BUILD_TARGETS limits the build (the ThreadSanitizer run needs only a few).
if [ -n "${BUILD_TARGETS:-}" ]; then
  for t in $BUILD_TARGETS; do cmake --build "$build" -j"$(nproc)" --target "$t"; done
else
  cmake --build "$build" -j"$(nproc)"
fi

xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    break
  done
fi

ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${CTEST_ARGS:-}
