# Sourced by run-saver.sh and run-setup.sh: the build folder, the machine tool and a display.
#
#   machine_env <script name> <default machine folder, relative to the build> <needed file>...
#
# Sets `build` (PLENOVA_BUILD, else build/) and `tool`, checks that the needed files (relative
# to the build folder) exist and that there is a display, and exports PLENOVA_MACHINE (kept when
# already set). Qt chooses its own platform: X11, or Wayland where the session runs one.
machine_env() {
  local name="$1" machine="$2"
  shift 2
  build="$(realpath -m "${PLENOVA_BUILD:-build}")"
  tool="$build/bin/plenova-machine"
  local file
  for file in bin/plenova-machine "$@"; do
    if [ ! -e "$build/$file" ]; then
      echo "$name: $build/$file is missing; build first: cmake -S . -B build && cmake --build build" >&2
      exit 1
    fi
  done
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "$name: no display to show it on (neither DISPLAY nor WAYLAND_DISPLAY is set)" >&2
    exit 1
  fi
  export PLENOVA_MACHINE="${PLENOVA_MACHINE:-$build/$machine}"
}
