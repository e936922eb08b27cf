#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Trovix needs.
# Idempotent: when everything is present it only asks dpkg and returns at once.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config
  # Qt 6
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-l10n-tools qt6-image-formats-plugins
  qt6-pdf-dev libqt6svg6
  # tests and benchmarks; clang and its runtimes for the fuzz targets
  libgtest-dev libgmock-dev googletest libbenchmark-dev clang libclang-rt-14-dev
  # desktop services
  libglib2.0-dev desktop-file-utils shared-mime-info
  # metadata, archives
  libexiv2-dev libmediainfo-dev libarchive-dev
  # global hot key
  libxcb1-dev libxcb-keysyms1-dev
  # real display for GUI tests and screenshots (scripts/screenshot.sh: xwd, netpbm)
  xvfb xauth xdotool x11-apps netpbm
  # icons and fonts in a bare session
  adwaita-icon-theme fonts-dejavu-core
  # test tools
  attr dbus util-linux
  # the Debian package and its checks; the icon's PNGs (scripts/render-icons.sh)
  dpkg-dev lintian appstream man-db x11-utils librsvg2-bin
)

# One dpkg-query for all; it prints nothing for packages it has never heard of.
installed=" $(dpkg-query -W -f='${Package}:${db:Status-Status} ' "${packages[@]}" 2>/dev/null || true) "
missing=()
for p in "${packages[@]}"; do
  case "$installed" in *" $p:installed "*) ;; *) missing+=("$p") ;; esac
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "Trovix setup: installing ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
