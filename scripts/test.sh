#!/usr/bin/env bash
# Checks the layout of the C++ sources, that only the ways out of a run call exit, and the lint
# profile; then builds and runs the whole test suite three times: an optimised build with
# warnings as errors, an address + undefined-behaviour sanitizer build, and a build without the
# x86-64 vector paths (the plain path other processors run); then the MPI build's job tests.
# Fails if the tests leave files behind.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
echo "=== layout (clang-format)"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "=== exits only on the ways out of a run"
bash scripts/check_exits.sh
echo "=== lint (clang-tidy, preset tidy)"
bash scripts/tidy.sh
for preset in ci asan plain; do
  echo "=== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== $preset tests"
  ctest --preset "$preset" -j2
done
echo "=== mpi build (HALVORIX_MPI) and its tests: golden cases as jobs of 2 and 3 processes"
cmake --preset mpi >/dev/null
cmake --build --preset mpi
ctest --preset mpi -j2
echo "=== fuzz run (every loader, 5 s each)"
bash scripts/fuzz.sh 5
echo "=== benchmark smoke run"
build/ci/bench/halvorix_bench --benchmark_min_time=0.01 --benchmark_filter='/100/8/10' >/dev/null
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
  echo "the tests left files behind:"; git status --porcelain; exit 1
fi
