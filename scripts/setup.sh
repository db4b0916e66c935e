#!/usr/bin/env bash
# Installs every Debian package Fernweave needs to build, run and test.
# Idempotent: quiet when everything is present; runs apt-get update once otherwise.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-translations-l10n
  libjpeg62-turbo-dev libpng-dev libpugixml-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libchm-dev libchm1 fp-utils
  cups libcups2-dev printer-driver-cups-pdf poppler-utils
  clang libclang-rt-14-dev
  xvfb xauth xdotool imagemagick weston qt6-wayland
  dbus at-spi2-core gir1.2-atspi-2.0 python3-gi
  flam3-utils locales
  dpkg-dev lintian desktop-file-utils appstream shared-mime-info libglib2.0-bin man-db
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

SUDO=()
if [[ $(id -u) -ne 0 ]]; then SUDO=(sudo); fi

# The tests write IFS text under a German locale (a decimal comma) to see that dots come out.
ensure_test_locale() {
  if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    "${SUDO[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
  fi
}

if ((${#missing[@]} == 0)); then
  ensure_test_locale
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
ensure_test_locale
