#!/usr/bin/env bash
# Builds every libFuzzer target of the repository (tests/*/fuzz) with clang in build-fuzz and
# runs each for a given time on its committed seed corpus. Not part of scripts/test.sh.
#
#   bash scripts/fuzz.sh [seconds per target] [target...]     (defaults: 300, every target)
#
# A target's seeds are tests/<area>/fuzz/corpus/<name>/ for <name>_fuzz (or <name>_seeds/ next
# to it); they are only read. New inputs go to build-fuzz/fuzz/<name>/, findings (crash-*,
# leak-*, oom-*, timeout-*) to build-fuzz/fuzz/findings/. FUZZ_ARGS adds libFuzzer options.
# Exits non-zero when any target has a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
build=build-fuzz
jobs=$(nproc)

cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLENOVA_FUZZ=ON -DPLENOVA_BUILD_BENCH=OFF >/dev/null
if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(cmake --build "$build" --target help | sed -n 's/^\.\.\. \([A-Za-z0-9_]*_fuzz\)$/\1/p' | sort)
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz targets (clang with libFuzzer is needed)" >&2
  exit 1
fi
cmake --build "$build" --target "${targets[@]}" -j"$jobs"

mkdir -p "$build/fuzz/findings"
summary=()
failed=0
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  binary=$(find "$build/tests" -type f -name "$target" -perm -u+x | head -n 1)
  seeds=()
  for dir in tests/*/fuzz/corpus/"$name" tests/*/fuzz/"$name"_seeds; do
    [ -d "$dir" ] && seeds+=("$dir")
  done
  [ ${#seeds[@]} -eq 0 ] && echo "fuzz: $target has no committed corpus; it starts from nothing" >&2
  mkdir -p "$build/fuzz/$name"
  log="$build/fuzz/$name.log"
  echo "fuzz: $target for $seconds s (seeds: ${seeds[*]:-none})"
  status=0
  # shellcheck disable=SC2086
  "$binary" "$build/fuzz/$name" "${seeds[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -timeout=30 -print_final_stats=1 -artifact_prefix="$build/fuzz/findings/$name-" \
      ${FUZZ_ARGS:-} >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  summary+=("$(printf '%-16s %12s runs  exit %d' "$target" "${runs:-?}" "$status")")
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "fuzz: $target found something; see $log and $build/fuzz/findings/" >&2
    tail -n 30 "$log" >&2
  fi
done
printf '%s\n' "${summary[@]}"
exit "$failed"
