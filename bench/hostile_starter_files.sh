#!/usr/bin/env bash
# Time and peak memory of a silent, headless installation when the main
# starter file is hostile: a FIFO, a link to /dev/zero, a directory, a sparse
# file far over the size limit, real files just under and over it, and files
# of tiny lines at and over the line limit.
#   bench/hostile_starter_files.sh [BUILD_DIR]
# Prints one line per case (exit status, wall time, peak RSS); never fails a
# build. Every run is killed after 60 s.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
cmake --build "$build" --target ordx-install ordx-kit -j2 >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/ordx-starter.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/docs" "$work/run"
echo "template" > "$work/src/docs/readme_en.html"
"$build/bin/ordx-kit" pack "$work/src" -o "$work/run/ordx.dkt" --lang en Bench Bench \
  docs\\readme_en.html >/dev/null
cp "$build/bin/ordx-install" "$work/run/"

# Foreign lines of about 60 bytes until the file holds $1 bytes, or with
# "tiny" as $2, distinct keys of a few bytes ("1f=") until $1 lines.
lines() {
  python3 - "$1" "${2:-}" <<'PY'
import sys
size, tiny, out, i = int(sys.argv[1]), sys.argv[2] == "tiny", [], 0
total = 0
while total < size:
    if tiny:
        line = '%x=\n' % i
        total += 1
    else:
        line = 'Key%07d=\xd0\xb7\xd0\xbd\xd0\xb0\xd1\x87\xd0\xb5\xd0\xbd\xd0\xb8\xd0\xb5 caf\xe9 %07d\n' % (i, i)
        total += len(line.encode('latin-1'))
    out.append(line); i += 1
sys.stdout.buffer.write(''.join(out).encode('latin-1'))
PY
}

printf '%-26s %6s %9s %12s\n' case status "wall s" "peak RSS KiB"
for kind in none fifo dev-zero directory sparse-1GiB real-15MiB real-17MiB tiny-100000-lines \
    tiny-100001-lines tiny-15MiB; do
  home="$work/home-$kind"
  starter="$home/.Ordo/ordolaunch/ordolaunch.cfg"
  rm -rf "$home" "$work/tmp"
  mkdir -p "$(dirname "$starter")" "$work/tmp"
  case "$kind" in
    fifo) mkfifo "$starter" ;;
    dev-zero) ln -s /dev/zero "$starter" ;;
    directory) mkdir "$starter" ;;
    sparse-1GiB) truncate -s 1G "$starter" ;;
    real-15MiB) lines $((15 << 20)) > "$starter" ;;
    real-17MiB) lines $((17 << 20)) > "$starter" ;;
    tiny-100000-lines) lines 100000 tiny > "$starter" ;;
    tiny-100001-lines) lines 100001 tiny > "$starter" ;;
    tiny-15MiB) lines 2500000 tiny | head -c $((15 << 20)) > "$starter" ;;
  esac
  status=0
  ( cd "$work/run" && env -u DISPLAY HOME="$home" TMPDIR="$work/tmp" LC_ALL=C \
      /usr/bin/time -f '%e %M' -o "$work/time" timeout -s KILL 60 ./ordx-install /S \
      2>/dev/null ) || status=$?
  read -r wall rss < <(tail -n 1 "$work/time") || { wall="?"; rss="?"; }
  printf '%-26s %6s %9s %12s\n' "$kind" "$status" "$wall" "$rss"
done
