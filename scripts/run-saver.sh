#!/usr/bin/env bash
# Starts the saver in saver mode on the bundled data of the build.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/dist/PlenovaSaver.scr ]; then
  echo "Nothing to show yet: the saver program is not part of this build." >&2
  exit 0
fi
