#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when they are missing.
set -euo pipefail
packages=(ser2net vttest build-essential cmake ninja-build pkg-config qt6-base-dev qt6-translations-l10n libqt6svg6
          libgtest-dev libgmock-dev
          libgl-dev xvfb xauth poppler-utils librsvg2-bin dpkg-dev file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
