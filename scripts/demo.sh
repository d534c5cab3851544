#!/usr/bin/env bash
# Builds the installer, packs the sample kit from examples/ and installs it:
# with the wizard when a display is there, otherwise silently (/S). HOME and
# TMPDIR point into build/demo, so the user's own starter configuration is
# never touched. Extra arguments go to the installer, e.g. /Lde for German.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORDX_BUILD_DIR:-$root/build}"
demo="$build/demo"

generator=()
if [[ ! -f "$build/CMakeCache.txt" ]] && command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi
"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" "${generator[@]}" >/dev/null
cmake --build "$build" --target ordx-install ordx-kit -j2

# A fresh demo folder each time: the program beside its kit, and a home
# and temporary directory of its own.
rm -rf "$demo"
mkdir -p "$demo/home" "$demo/tmp"

# The kit's texts: one line per language in examples/kit.conf.
texts=()
while IFS=$'\t' read -r code product vendor description; do
  [[ -z "$code" || "$code" == \#* ]] && continue
  texts+=(--lang "$code" "$product" "$vendor" "$description")
done < "$root/examples/kit.conf"
"$build/bin/ordx-kit" pack "$root/examples/kit/templates" -o "$demo/ordx.dkt" "${texts[@]}"
cp "$build/bin/ordx-install" "$demo/ordx-install"

export HOME="$demo/home" TMPDIR="$demo/tmp"
# The kit's texts are Unicode; show them as such.
if [[ "$(locale charmap 2>/dev/null)" != "UTF-8" ]]; then export LC_ALL=C.UTF-8; fi

display_works() {
  [[ -n "${DISPLAY:-}" ]] || return 1
  if command -v xdpyinfo >/dev/null 2>&1; then xdpyinfo >/dev/null 2>&1; fi
}

status=0
if display_works; then
  echo "Starting the wizard on $DISPLAY ..."
  "$demo/ordx-install" "$@" || status=$?
else
  echo "No display: installing silently (ordx-install /S) ..."
  "$demo/ordx-install" /S "$@" || status=$?
fi

starter="$HOME/.Ordo/ordolaunch/ordolaunch.cfg"
if [[ -f "$starter" ]]; then
  target="$(sed -n 's/^ConfigurationTemplatesLocation=//p' "$starter" | head -n 1)"
  echo "Templates installed to: $target"
  (cd "$target" && find . -type f | sort | sed 's|^\./|  |')
  echo "Registered in: $starter"
else
  echo "Nothing was installed (exit status $status)."
fi
exit "$status"
