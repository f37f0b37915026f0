#!/usr/bin/env bash
# Measures the saver's scene on an X server of its own (Xvfb, 1920 x 1080, 24 bits): the real
# program in saver mode on the build's data, in an emulated machine prepared like
# scripts/run-saver.sh does. Prints frames shown per second over the measured stretch, ticks
# dropped, CPU time of the saver per second, its peak memory and the time to its first frame.
#
#   bash bench/scene_run.sh [build folder] [seconds]      (defaults: build, 30)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-30}
saver=$build/dist/PlenovaSaver.scr
tool=$build/bin/plenova-machine
runner=$build/bench/scene_run
for program in "$saver" "$tool" "$runner"; do
  if [ ! -x "$program" ]; then
    echo "scene_run: $program is missing; build first: cmake -S . -B $build && cmake --build $build" >&2
    exit 1
  fi
done
work=$(mktemp -d /tmp/plenova-scene-XXXXXX)
xvfb_pid=
# The X server goes with the script, however it ends.
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -m 700 "$work/run"
export PLENOVA_MACHINE="$work/machine"
export XDG_RUNTIME_DIR="$work/run"
export QT_QPA_PLATFORM=xcb
data_folder=$("$tool" path -w "$PWD/$build/dist")
"$tool" reg add 'HKCU\Software\PlenovaSaver\App' /v Dir /d "$data_folder" /f >/dev/null
# An X server of our own on a display number it picks itself (never a fixed one that may be
# taken or left over from an earlier run).
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 300); do
  if [ -s "$work/display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "scene_run: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"
"$runner" --seconds "$seconds" "$saver" /s 2>"$work/stderr" || {
  cat "$work/stderr" >&2
  exit 1
}
