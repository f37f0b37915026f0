#!/usr/bin/env bash
# Installs what the project needs, builds everything and runs every test; then builds the whole
# suite again with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan) and runs it
# there too. SANITIZE=0 skips the second pass.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
start=$SECONDS
# Warnings are errors here, so that a change that brings one does not land.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 900
echo "test.sh: release build and tests took $((SECONDS - start)) s"

if [ "${SANITIZE:-1}" = 0 ]; then
  exit 0
fi
start=$SECONDS
# Any report fails the test: undefined behaviour stops the program, and so does a leak. The
# suppressions cover only what Qt, fontconfig and D-Bus keep until exit.
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# -O1 with line tables: readable reports at a fraction of a debug build's compile time. The
# test programs run at build time too (their tests are listed then), so the options above are
# already needed here.
cmake -S . -B build-asan -DPLENOVA_SANITIZE=ON -DPLENOVA_BUILD_BENCH=OFF \
      -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1"
cmake --build build-asan -j"$jobs"
# Tests labelled no-asan say in their CMakeLists.txt why they cannot run here.
ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 900 -LE no-asan
echo "test.sh: sanitizer build and tests took $((SECONDS - start)) s"
