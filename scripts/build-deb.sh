#!/usr/bin/env bash
# Builds the Debian package plenova_<version>_amd64.deb in a build folder of its own (without
# tests and benchmarks) and prints its path. Needs dpkg-dev (dpkg-shlibdeps) for the computed
# dependencies; scripts/install-deps.sh installs it.
#
#   bash scripts/build-deb.sh [BUILD_FOLDER]      default: build-package
set -euo pipefail

source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${1:-$source_dir/build-package}"

cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
  -DPLENOVA_BUILD_TESTS=OFF -DPLENOVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
(cd "$build_dir" && cpack -G DEB >/dev/null)
ls "$build_dir"/plenova_*_amd64.deb
