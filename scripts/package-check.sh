#!/usr/bin/env bash
# Builds the Debian packages from the build tree (build/, or BUILD_DIR) and
# checks them without installing them into the system: the files each
# package and `cmake --install` hold, the control fields, the manual pages,
# lintian (errors fail, warnings are printed), and both programs run out of
# the unpacked packages on the sample kit, headless, with HOME and TMPDIR of
# their own.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || { echo "no version in $build/CPackConfig.cmake" >&2; exit 1; }
echo "== packages of version $version"

# cpack installs every component, so the whole tree must be built first.
cmake --build "$build" -j2 >/dev/null
(cd "$build" && cpack -G DEB -B "$work/debs" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; exit 1; }
arch=$(dpkg --print-architecture)

# What each package must hold, and nothing else.
declare -A expected
expected[ordx-install]="./usr/bin/ordx-install
./usr/share/doc/ordx-install/README.md
./usr/share/doc/ordx-install/changelog.gz
./usr/share/doc/ordx-install/copyright
./usr/share/man/man1/ordx-install.1.gz"
expected[ordx-kit]="./usr/bin/ordx-kit
./usr/share/doc/ordx-kit/README.md
./usr/share/doc/ordx-kit/changelog.gz
./usr/share/doc/ordx-kit/copyright
./usr/share/doc/ordx-kit/kits.md
./usr/share/man/man1/ordx-kit.1.gz"
# A dependency each one must declare, and one it must not.
declare -A needs=([ordx-install]=libgtk2.0-0 [ordx-kit]=zlib1g)
declare -A shuns=([ordx-install]=libgtest [ordx-kit]=libgtk2.0-0)

root="$work/root"
mkdir "$root"
for package in ordx-install ordx-kit; do
  deb="$work/debs/${package}_${version}_${arch}.deb"
  echo "== $package: $(basename "$deb")"
  [ -f "$deb" ] || { fail "$deb was not made"; ls "$work/debs" >&2; continue; }
  dpkg-deb --info "$deb" | sed -n '/^ [A-Z]/,$p'

  [ "$(dpkg-deb --field "$deb" Package)" = "$package" ] || fail "$package: wrong Package field"
  [ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "$package: wrong Version field"
  depends=$(dpkg-deb --field "$deb" Depends)
  [[ "$depends" == *"${needs[$package]}"* ]] || fail "$package: Depends lacks ${needs[$package]}"
  [[ "$depends" != *"${shuns[$package]}"* ]] || fail "$package: Depends names ${shuns[$package]}"

  dpkg-deb --contents "$deb" >"$work/$package.contents"
  files=$(awk '$1 !~ /^d/ {print $6}' "$work/$package.contents" | sort)
  [ "$files" = "${expected[$package]}" ] ||
    fail "$package holds other files than expected:"$'\n'"$(diff <(echo "${expected[$package]}") <(echo "$files"))"
  awk '$2 != "root/root" {print "FAIL: not owned by root: " $6; bad = 1} END {exit bad}' \
    "$work/$package.contents" || failures=$((failures + 1))

  dpkg-deb -x "$deb" "$root"
  page="$root/usr/share/man/man1/$package.1.gz"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$package.1: $warnings"

  echo "-- lintian"
  lintian_status=0
  lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
  cat "$work/lintian.log"
  [ "$lintian_status" -eq 0 ] && ! grep -q '^E: ' "$work/lintian.log" ||
    fail "$package: lintian reports errors"
done

echo "== cmake --install holds the files of both packages"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed=$(cd "$work/prefix" && find . -type f | sed 's|^\./|./usr/|' | sort)
[ "$installed" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
  fail "cmake --install installs other files:"$'\n'"$(diff <(printf '%s\n' "${expected[@]}" | sort) <(echo "$installed"))"

echo "== the unpacked programs on the sample kit"
bin="$root/usr/bin"
# No DISPLAY, and nothing of the caller's environment but what is given here.
sandboxed() { env -i HOME="$work/home" TMPDIR="$work/tmp" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 "$@"; }
mkdir "$work/home" "$work/tmp" "$work/kit"
for program in ordx-kit ordx-install; do
  out=$(sandboxed "$bin/$program" --version) || fail "$program --version exited $?"
  [ "$out" = "$program $version" ] || fail "$program --version printed '$out'"
  echo "$program --version: $out"
done

texts=()
while IFS=$'\t' read -r code product vendor description; do
  [[ -z "$code" || "$code" == \#* ]] && continue
  texts+=(--lang "$code" "$product" "$vendor" "$description")
done <examples/kit.conf
sandboxed "$bin/ordx-kit" pack examples/kit/templates -o "$work/kit/ordx.dkt" "${texts[@]}"
sandboxed "$bin/ordx-kit" verify "$work/kit/ordx.dkt"

status=0
(cd "$work/kit" && sandboxed "$bin/ordx-install" usecwd /S) || status=$?
echo "ordx-install usecwd /S: exit status $status"
[ "$status" -eq 0 ] || fail "the headless installation exited $status"
target="$work/home/.ordx/Ordo/ordx/tmplts"
want=$(cd examples/kit/templates && find . -type f | sort)
got=$(cd "$target" 2>/dev/null && find . -type f | sort) || true
[ "$got" = "$want" ] || fail "installed files differ:"$'\n'"$(diff <(echo "$want") <(echo "$got"))"
diff -r examples/kit/templates "$target" >/dev/null || fail "installed bytes differ"
grep -qx "ConfigurationTemplatesLocation=$target" "$work/home/.Ordo/ordolaunch/ordolaunch.cfg" ||
  fail "the template directory was not registered"
[ -z "$(ls -A "$work/tmp")" ] || fail "left in TMPDIR: $(ls -A "$work/tmp")"

if [ "$failures" -ne 0 ]; then
  echo "package check: $failures failure(s)" >&2
  exit 1
fi
echo "package check: ok"
