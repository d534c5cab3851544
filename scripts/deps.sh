#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Needs root (or sudo) only when something is actually missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtk2.0-dev zlib1g-dev libisal-dev
  libgtest-dev libgmock-dev
  xvfb xauth xdotool x11-utils
  fonts-dejavu-core fonts-droid-fallback fonts-noto-core fonts-cantarell
  zopfli gzip
  dpkg-dev file lintian man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
