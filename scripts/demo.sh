#!/usr/bin/env bash
# Builds the installer. (The sample kit and the wizard come with the window.)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)"
echo "Built build/bin/ordx-install; the wizard is not there yet."
