#!/usr/bin/env bash
# Installs the saver from the distribution medium of the build (build/dist) into a fresh
# emulated Windows machine, runs the installed saver, and uninstalls it again, as a user would:
# build/dist becomes the removable drive A:, the setup starts from there and asks its questions
# in its own windows.
#
#   scripts/run-setup.sh [all|install|saver|uninstall]
#
#   install    a fresh machine (build/setup-machine, made anew), A: = build/dist, then
#              plenova-machine run 'A:\PlenovaSetup.exe'; returns when the installation ends
#   saver      plenova-machine run 'C:\WINDOWS\PlenovaSaver.scr' /s; any key ends it
#   uninstall  plenova-machine uninstall "Plenova Saver"
#   all        the three in turn (the default)
#
# PLENOVA_MACHINE names another machine folder (the install step then empties it first),
# PLENOVA_BUILD another build folder than build/. With PLENOVA_SETUP_ANSWERS naming an answers
# file (setup/scripted_windows.h) the setup answers from it instead of showing its windows.
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath -m "${PLENOVA_BUILD:-build}")"
tool="$build/bin/plenova-machine"
medium="$build/dist"
step="${1:-all}"
case "$step" in
  all|install|saver|uninstall) ;;
  *) echo "usage: run-setup.sh [all|install|saver|uninstall]" >&2; exit 2 ;;
esac
for file in "$tool" "$medium/PlenovaSetup.exe" "$medium/TAVORIN.DLL" "$medium/SETUP.ini"; do
  if [ ! -e "$file" ]; then
    echo "run-setup: $file is missing; build first: cmake -S . -B build && cmake --build build" >&2
    exit 1
  fi
done
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-setup: no display to show the setup on (DISPLAY is not set)" >&2
  exit 1
fi
if [ -n "${DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-xcb}"
fi
export PLENOVA_MACHINE="${PLENOVA_MACHINE:-$build/setup-machine}"

install() {
  # A machine folder holds only what the machine made: refuse to empty anything else.
  if [ -e "$PLENOVA_MACHINE" ] && [ ! -e "$PLENOVA_MACHINE/drive_c" ]; then
    echo "run-setup: $PLENOVA_MACHINE is not a machine folder; not emptying it" >&2
    exit 1
  fi
  rm -rf -- "$PLENOVA_MACHINE"
  "$tool" drive add A: "$medium" removable
  echo "run-setup: installing into the machine $PLENOVA_MACHINE"
  "$tool" run 'A:\PlenovaSetup.exe'
  echo "run-setup: installed products:"
  "$tool" uninstall --list
}

saver() {
  echo "run-setup: the installed saver; any key, a click or a mouse movement ends it"
  "$tool" run 'C:\WINDOWS\PlenovaSaver.scr' /s
}

uninstall() {
  # The installed setup program is left for the machine's next start to delete (WININIT.INI).
  "$tool" uninstall "Plenova Saver"
}

case "$step" in
  install) install ;;
  saver) saver ;;
  uninstall) uninstall ;;
  all) install; saver; uninstall ;;
esac
