#!/usr/bin/env bash
# Starts the saver in saver mode on the bundled data of the build. It runs in an emulated
# Windows machine of its own, build/machine, whose "App"/"Dir" setting names the build's data
# folder (build/dist); any key, a click or a mouse movement ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
saver=build/dist/PlenovaSaver.scr
tool=build/bin/plenova-machine
for program in "$saver" "$tool"; do
  if [ ! -x "$program" ]; then
    echo "run-saver: $program is missing; build first: cmake -S . -B build && cmake --build build" >&2
    exit 1
  fi
done
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-saver: no display to show the saver on (DISPLAY is not set)" >&2
  exit 1
fi
# The saver places its window beyond the screen edges, reads the pointer and stays on top:
# X11 (or XWayland) allows all of that.
if [ -n "${DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-xcb}"
fi

export PLENOVA_MACHINE="$PWD/build/machine"
data_folder=$("$tool" path -w "$PWD/build/dist")
"$tool" reg add 'HKCU\Software\PlenovaSaver\App' /v Dir /d "$data_folder" /f >/dev/null
exec "$saver" /s
