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
step="${1:-all}"
case "$step" in
  all|install|saver|uninstall) ;;
  *) echo "usage: run-setup.sh [all|install|saver|uninstall]" >&2; exit 2 ;;
esac
source scripts/machine-env.sh
machine_env run-setup setup-machine dist/PlenovaSetup.exe dist/TAVORIN.DLL dist/SETUP.ini
medium="$build/dist"

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
