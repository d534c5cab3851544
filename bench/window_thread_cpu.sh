#!/usr/bin/env bash
# How much processor time the installer's window thread takes while the
# worker copies: runs "ordx-install /S" with a window on a generated kit and
# prints the window thread's CPU time against the run's wall time.
#   bench/window_thread_cpu.sh [BUILD_DIR] [FILES] [KIB_PER_FILE]
# Needs a display (DISPLAY, or xvfb-run). Prints figures; never fails a build.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
files="${2:-400}"
kib="${3:-1024}"
cmake --build "$build" --target ordx-install ordx-kit -j2 >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/ordx-cpu.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/home" "$work/tmp" "$work/run"
# Mildly compressible data: random text lines.
python3 - "$work/src" "$files" "$kib" <<'PY'
import os, random, sys
out, files, kib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(7)
words = [''.join(rng.choice('abcdefghijklmnop') for _ in range(rng.randint(3, 9))) for _ in range(4000)]
for i in range(files):
    d = os.path.join(out, 'set%02d' % (i % 20))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, 'file%04d.txt' % i), 'w') as f:
        size = 0
        while size < kib * 1024:
            line = ' '.join(rng.choice(words) for _ in range(12)) + '\n'
            f.write(line)
            size += len(line)
PY
"$build/bin/ordx-kit" pack "$work/src" -o "$work/run/ordx.dkt" --level 1 --lang en Bench Bench set00\\file0000.txt
cp "$build/bin/ordx-install" "$work/run/"

measure() {
  HOME="$work/home" TMPDIR="$work/tmp" "$work/run/ordx-install" /S &
  local pid=$! ticks=0 t0="" c0=0 t1="" c1=0 now
  local target="$work/home/.ordx/Ordo/ordx/tmplts" starter="$work/home/.Ordo/ordolaunch/ordolaunch.cfg"
  # The main thread's id is the process id; fields 14 and 15 of its stat
  # are user and system time in clock ticks. The copy starts when the
  # target directory appears and has ended when the starter file is written.
  while kill -0 "$pid" 2>/dev/null; do
    if read -r -a stat < "/proc/$pid/task/$pid/stat" 2>/dev/null; then
      ticks=$(( stat[13] + stat[14] ))
    fi
    now=$(date +%s.%N)
    if [[ -z "$t0" && -d "$target" ]]; then t0=$now; c0=$ticks; fi
    if [[ -n "$t0" && -z "$t1" && -f "$starter" ]]; then t1=$now; c1=$ticks; fi
    sleep 0.02
  done
  wait "$pid" || true
  local hz; hz=$(getconf CLK_TCK)
  if [[ -z "$t0" || -z "$t1" ]]; then echo "copy not observed"; return; fi
  python3 -c "
wall = $t1 - $t0; cpu = ($c1 - $c0) / $hz
print(f'copy {wall:.2f} s wall; window thread {cpu:.2f} s CPU = {100 * cpu / wall:.1f} % of one core')"
}

echo "kit: $files files of $kib KiB ($(du -h "$work/run/ordx.dkt" | cut -f1) packed)"
run() {
  if [[ -n "${DISPLAY:-}" ]]; then measure; else
    export -f measure; export work
    xvfb-run -a bash -c measure
  fi
}
run
