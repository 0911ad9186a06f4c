#!/usr/bin/env bash
# Checks that a run ends only where it is meant to: a call of exit, _exit, _Exit, quick_exit or
# abort in src/ (std:: or :: qualified or not) may stand only in the files named for the ways
# out: the failure path, the guard of mapped files (its bus-error signal handler) and the two
# transports of a run (one process, or an MPI job). Anywhere else it would skip the MPI abort,
# the removal of unfinished result files and the fuzzing build's stop; such code calls
# fail_stderr or fail_stdout instead.
#
#   scripts/check_exits.sh [ROOT]    (ROOT: the tree whose src/ is read; default this one)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
allowed=(
  src/cli/fail.cpp
  src/files/mapped_file_guard.cpp
  src/engine/distributed_local.cpp
  src/engine/distributed_mpi.cpp
)
cd "$root"
found=0
while IFS= read -r -d '' file; do
  file=${file#./}
  for ok in "${allowed[@]}"; do [ "$file" = "$ok" ] && continue 2; done
  # Strings and comments are text, not calls: they are blanked before the search.
  hits=$(sed -E -e 's/"([^"\\]|\\.)*"/""/g' -e "s/'([^'\\\\]|\\\\.)'/''/g" \
                -e 's:/\*([^*]|\*+[^*/])*\*+/::g' -e 's://.*$::' "$file" |
         grep -n -E '(^|[^A-Za-z0-9_])(exit|_exit|_Exit|quick_exit|abort)[[:space:]]*\(' || true)
  [ -z "$hits" ] && continue
  found=1
  while IFS= read -r hit; do echo "$file:${hit%%:*}: ${hit#*:}"; done <<<"$hits"
done < <(find src -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.cc' -o -name '*.hpp' \) \
           -print0 | sort -z)
if [ "$found" -ne 0 ]; then
  echo "a run may end only through fail_stderr/fail_stdout (src/cli/fail.h); direct exits belong"
  echo "to ${allowed[*]}"
  exit 1
fi
