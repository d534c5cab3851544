#!/usr/bin/env bash
# The installation against `tar -xzf` of the same tree, for each inflate
# backend: into an empty directory, over an up-to-date copy and over an
# older copy (medians and ratios from install_bench). As root everything
# runs on a fresh tmpfs, plus one run with the unpacked kit (TMPDIR) on a
# second tmpfs, another file system than the target's; otherwise on the file
# system of $TMPDIR. Then the decompression bench, and the time from start
# until the wizard's window is mapped for the same kit, under an Xvfb of its
# own. Prints figures; never fails a build.
#
#   bench/run_install_bench.sh [ISAL_BUILD [ZLIB_BUILD]]
#   (defaults: build-rel and build-rel-zlib in the source tree, configured
#   as Release builds when missing)
# Environment: FILES (2000), MB (100), RUNS (5), WINDOW_RUNS (5); WINDOW_ONLY=1
# makes the kit and measures the window time alone.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
isal_build="${1:-$root/build-rel}"
zlib_build="${2:-$root/build-rel-zlib}"
files="${FILES:-2000}"
mb="${MB:-100}"
runs="${RUNS:-5}"
window_runs="${WINDOW_RUNS:-5}"

build() {
  local dir="$1"
  shift
  if [[ ! -f "$dir/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DORDX_WERROR=ON "$@" >/dev/null
  fi
  cmake --build "$dir" --target install_bench decompress_bench ordx-install -j2 >/dev/null
}
build "$isal_build"
build "$zlib_build" -DORDX_INFLATE=zlib
backend_of() { grep -q 'ORDX_INFLATE:STRING=zlib' "$1/CMakeCache.txt" && echo zlib || echo isa-l; }

work="$(mktemp -d "${TMPDIR:-/tmp}/ordx-installbench.XXXXXX")"
mounts=()
xvfb_pid=""
cleanup() {
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  for m in "${mounts[@]}"; do umount "$m"; done
  rm -rf "$work"
}
trap cleanup EXIT

main_fs="$work/main"
other_fs="$work/other"
mkdir -p "$main_fs" "$other_fs"
if [[ "$(id -u)" == 0 ]]; then
  mount -t tmpfs -o size=4g ordx-bench "$main_fs" && mounts+=("$main_fs")
  mount -t tmpfs -o size=1g ordx-bench-tmp "$other_fs" && mounts+=("$other_fs")
  echo "measuring on a fresh tmpfs"
else
  echo "not root: measuring on the disk's file system ($(stat -f -c %T "$work") at $work)"
  if [[ -d /dev/shm && "$(stat -c %d /dev/shm)" != "$(stat -c %d "$work")" ]]; then
    other_fs="$(mktemp -d /dev/shm/ordx-installbench.XXXXXX)"
    mounts=()
    trap 'cleanup; rm -rf "$other_fs"' EXIT
  else
    other_fs=""
  fi
fi
echo "$(nproc) processors; times are wall-clock medians of $runs runs"

kit="$work/ordx.dkt"
if [[ "${WINDOW_ONLY:-}" == 1 ]]; then
  "$isal_build/bin/install_bench" --files "$files" --mb "$mb" --runs 0 --dir "$main_fs/run" \
    --save-kit "$kit" >/dev/null
else
for b in "$isal_build" "$zlib_build"; do
  echo
  echo "== backend $(backend_of "$b"): TMPDIR and target on one file system"
  args=(--files "$files" --mb "$mb" --runs "$runs" --dir "$main_fs/run")
  [[ -f "$kit" ]] || args+=(--save-kit "$kit")
  "$b/bin/install_bench" "${args[@]}"
done

if [[ -n "$other_fs" ]]; then
  echo
  echo "== backend $(backend_of "$isal_build"): TMPDIR on another file system than the target"
  "$isal_build/bin/install_bench" --files "$files" --mb "$mb" --runs "$runs" \
    --dir "$main_fs/run" --tmp "$other_fs/tmp"
fi

echo
echo "== decompression, memory to memory and kit file to file (10 and 200 MB)"
TMPDIR="$main_fs" "$isal_build/bin/decompress_bench" "$runs" 10 200
fi

# Time until the window is mapped: from the start of the process until
# xdotool sees a viewable window of that process.
if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  echo "no Xvfb or xdotool: window time not measured"
  exit 0
fi
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.05; done
display=":$(head -n1 "$work/display")"
# Ready once a client gets an answer.
for _ in $(seq 100); do
  DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.05
done

window_time() {
  local build="$1" run="$main_fs/window" times=() sorted=()
  rm -rf "$run"
  mkdir -p "$run/app" "$run/home" "$run/tmp"
  cp "$build/bin/ordx-install" "$run/app/"
  cp "$kit" "$run/app/ordx.dkt"
  for _ in $(seq "$window_runs"); do
    local start end pid
    start=$(date +%s%N)
    DISPLAY="$display" HOME="$run/home" TMPDIR="$run/tmp" "$run/app/ordx-install" &
    pid=$!
    until DISPLAY="$display" xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
      if ! kill -0 "$pid" 2>/dev/null; then echo "  the installer ended without a window"; return; fi
      sleep 0.005
    done
    end=$(date +%s%N)
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    times+=($(( (end - start) / 1000000 )))
  done
  mapfile -t sorted < <(printf '%s\n' "${times[@]}" | sort -n)
  echo "  $(backend_of "$build"): window mapped after ${sorted[$(( ${#sorted[@]} / 2 ))]} ms" \
    "(median; runs: ${times[*]} ms)"
}
echo
echo "== time until the wizard's window is mapped, same kit (Xvfb $display)"
window_time "$isal_build"
window_time "$zlib_build"
