#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the project needs.
# Idempotent: packages already present are left alone. Run as root or with sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-multimedia-dev libqt6opengl6-dev qt6-tools-dev qt6-l10n-tools
  libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev
  libx11-dev libxcb1-dev libxcb-shm0-dev libxfixes-dev
  libxcb-screensaver0-dev libwayland-dev wayland-protocols plasma-wayland-protocols dbus
  xvfb xauth xdotool x11-utils imagemagick openbox
  xscreensaver xscreensaver-data
  qt6-wayland sway grim wtype mutter
  fonts-ipafont-gothic qt6-translations-l10n locales
  clang libclang-rt-14-dev
  liblnk-utils
  dpkg-dev fakeroot lintian desktop-file-utils
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

if [ ${#missing[@]} -ne 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The languages the tests run the programs in (a fresh system has only C.UTF-8).
for locale in ja_JP en_US; do
  if ! locale -a 2>/dev/null | grep -qix "$locale.utf8"; then
    "${sudo_cmd[@]}" localedef -i "$locale" -c -f UTF-8 -A /usr/share/locale/locale.alias \
      "$locale.UTF-8"
  fi
done
