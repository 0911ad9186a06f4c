#!/usr/bin/env bash
# Lint gate: clang-tidy over every C++ source of src/ with the profile in .clang-tidy, two files
# at a time; any warning fails. The compile commands are the `tidy` preset's (configured only,
# with MPI so that distributed_mpi.cpp is read as it is built); distributed_local.cpp, which
# that build leaves out, is read with the flags clang-tidy takes from its neighbours.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset tidy >/dev/null
set +e
git ls-files -z 'src/*.cpp' | xargs -0 -P2 -n1 clang-tidy-14 -p build/tidy --quiet 2>&1 |
  grep -v -E '^[0-9]+ (warnings?|errors?)( and [0-9]+ errors?)? generated\.$'
status=("${PIPESTATUS[@]}")
set -e
if [ "${status[1]}" -ne 0 ]; then
  echo "clang-tidy found the warnings above (profile: .clang-tidy)"
  exit 1
fi
