#!/usr/bin/env bash
# Saves every wizard page, the message boxes and the preparing window in
# every language, under the default fonts of Xfce/MATE (DejaVu Sans 10), KDE
# (Noto Sans 10) and GNOME (Cantarell 11), as PNG files named
# <font>-<code>-<name>.png, for looking at layout and translations:
#   scripts/screenshots.sh [OUTDIR] [CODE...]
# OUTDIR defaults to build/screenshots. Without a working DISPLAY the pages
# are drawn on a private Xvfb server (xvfb-run).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORDX_BUILD_DIR:-$root/build}"
out="${1:-$build/screenshots}"
shift || true

generator=()
if [[ ! -f "$build/CMakeCache.txt" ]] && command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${generator[@]}" >/dev/null
cmake --build "$build" --target ordx_screenshots -j2
mkdir -p "$out"
out="$(cd "$out" && pwd)"  # the tool runs in a sandbox folder of its own

# A sandbox of our own: the tool installs into HOME and TMPDIR below it.
sandbox="$(mktemp -d "${TMPDIR:-/tmp}/ordx-shots.XXXXXX")"
trap 'rm -rf "$sandbox"' EXIT
mkdir -p "$sandbox/home" "$sandbox/tmp"

run=("$build/bin/ordx_screenshots" "$out" "$@")
if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  HOME="$sandbox/home" TMPDIR="$sandbox/tmp" LC_ALL=C.UTF-8 "${run[@]}"
else
  HOME="$sandbox/home" TMPDIR="$sandbox/tmp" LC_ALL=C.UTF-8 \
    xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"
fi
