#!/usr/bin/env bash
# Measures the saver's scene on an X server of its own (Xvfb, 24 bits, at each size asked for):
# the real program in saver mode on the build's data, in an emulated machine prepared like
# scripts/run-saver.sh does. Prints, for each size and each build folder, frames shown per second
# over the measured stretch, ticks dropped, CPU time of the saver and of the X server per second
# and per frame, their sum per frame against a memcpy of one screen-sized 32-bit frame measured in
# the same run, the saver's peak memory and the time to its first frame, and the X server's own
# CPU for one screen-sized copy from a pixmap to a window from main memory (the least a frame in
# which every pixel changed costs it); then one table of all.
# Several build folders are measured in one run (before and after a change, the same machine,
# the same load); the first one's bench/scene_run measures them all.
#
#   bash bench/scene_run.sh [--seconds N] [--size WxH]... [build folder]...
#   (defaults: 30 seconds, 1920x1080, build)
#   bash bench/scene_run.sh --seconds 20 --size 1920x1080 --size 3840x2160 build-after build-before
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=30
sizes=()
builds=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --size) sizes+=("$2"); shift 2 ;;
    --*) echo "scene_run: unknown option $1" >&2; exit 2 ;;
    *) builds+=("$1"); shift ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(1920x1080)
[ ${#builds[@]} -gt 0 ] || builds=(build)
for size in "${sizes[@]}"; do
  if ! [[ $size =~ ^[1-9][0-9]{1,4}x[1-9][0-9]{1,4}$ ]]; then
    echo "scene_run: a size is WIDTHxHEIGHT in pixels, not '$size'" >&2
    exit 2
  fi
done
runner=${builds[0]}/bench/scene_run
for build in "${builds[@]}"; do
  for program in "$build/dist/PlenovaSaver.scr" "$build/bin/plenova-machine"; do
    if [ ! -x "$program" ]; then
      echo "scene_run: $program is missing; build first: cmake -S . -B $build && cmake --build $build" >&2
      exit 1
    fi
  done
done
if [ ! -x "$runner" ]; then
  echo "scene_run: $runner is missing; build the target scene_run in ${builds[0]}" >&2
  exit 1
fi

work=$(mktemp -d /tmp/plenova-scene-XXXXXX)
xvfb_pid=
# The X server goes with the script, however it ends.
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
table=()

# One measurement: the saver of build $1 on a new X server of size $2.
measure() {
  local build=$1 size=$2 case_dir
  case_dir=$(mktemp -d "$work/case-XXXXXX")
  mkdir -m 700 "$case_dir/run"
  export PLENOVA_MACHINE="$case_dir/machine"
  export XDG_RUNTIME_DIR="$case_dir/run"
  export QT_QPA_PLATFORM=xcb
  local tool=$build/bin/plenova-machine data_folder
  data_folder=$("$tool" path -w "$(cd "$build/dist" && pwd)")
  "$tool" reg add 'HKCU\Software\PlenovaSaver\App' /v Dir /d "$data_folder" /f >/dev/null
  # An X server of our own on a display number it picks itself (never a fixed one that may be
  # taken or left over from an earlier run).
  exec 3>"$case_dir/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 300); do
    if [ -s "$case_dir/display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  if [ ! -s "$case_dir/display" ]; then
    echo "scene_run: Xvfb did not start at $size" >&2
    exit 1
  fi
  export DISPLAY=":$(head -n 1 "$case_dir/display")"
  echo "== $build at $size"
  "$runner" --seconds "$seconds" --server-pid "$xvfb_pid" "$build/dist/PlenovaSaver.scr" /s \
    >"$case_dir/out" 2>"$case_dir/stderr" || {
    cat "$case_dir/out" "$case_dir/stderr" >&2
    exit 1
  }
  grep -v '^summary' "$case_dir/out"
  table+=("$build	$(grep '^summary' "$case_dir/out" | cut -f2-)")
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
  echo
}

for size in "${sizes[@]}"; do
  for build in "${builds[@]}"; do
    measure "$build" "$size"
  done
done

echo "build	screen	frames/s	dropped	saver ms/frame	X server ms/frame	memcpy ms/frame	(saver+X)/memcpy	first frame on screen ms	X server frame copy ms"
printf '%s\n' "${table[@]}"
