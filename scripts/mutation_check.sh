#!/usr/bin/env bash
# Mutation check: does the test suite notice a deliberate fault?
#
#   scripts/mutation_check.sh [LIST] [NAME...]
#
# LIST (default tests/mutations.tsv) holds one mutation a line: a name, the source file, the
# exact text to replace (it must occur exactly once in the file) and its replacement, separated
# by tabs; "\t" and "\n" in the two texts stand for a tab and a line break; '#' lines are
# comments. With NAMEs only those mutations run.
#
# The repository is copied to build/mutation/tree and built there (Release, no benchmarks), so
# the working tree is never touched. Each mutation is applied to the copy, rebuilt
# incrementally, and the unit tests and end-to-end cases run with --stop-on-failure (the
# report, install and terminal tests are left out for speed: the mutations are in C++ code that
# the others run). A mutation of halvorix-report (src/report/) is checked by the report's own
# tests instead, after the copy is configured again (that copies the report's modules); no C++
# is built for it. The mutated file is put back after each run, and by the trap when the
# script is interrupted. A mutation is caught when a build succeeds and a test fails; one
# whose build fails is reported as such (a mutation that does not compile tells nothing).
# Results go to build/mutation/results.tsv; the exit status is 0 only if every one is caught.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
list=${1:-$root/tests/mutations.tsv}
[ $# -gt 0 ] && shift
list=$(realpath "$list")
only=" $* "
work=$root/build/mutation
tree=$work/tree
build=$work/build
results=$work/results.tsv
log=$work/log
exclude='^(report\.|e2e\.install|e2e\.progress_on_terminal)'
report_tests='^report\.(tables_and_errors|csv_reader_fuzz)$'
mkdir -p "$work"

# The copy: everything the build and the tests read, not the build folders or git. Files that
# did not change keep their time stamps, so a second run rebuilds only what changed.
python3 - "$root" "$tree" <<'PY'
import filecmp, os, shutil, sys
root, tree = sys.argv[1:3]
skip = {os.path.join(root, "build"), os.path.join(root, ".git")}
wanted = set()
for folder, dirs, files in os.walk(root):
    dirs[:] = [d for d in dirs if os.path.join(folder, d) not in skip]
    for name in files:
        source = os.path.join(folder, name)
        rel = os.path.relpath(source, root)
        wanted.add(rel)
        target = os.path.join(tree, rel)
        if os.path.islink(source) or not os.path.isfile(source):
            continue
        if not os.path.exists(target) or not filecmp.cmp(source, target, shallow=False):
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy2(source, target)
for folder, _, files in os.walk(tree):
    for name in files:
        path = os.path.join(folder, name)
        if os.path.relpath(path, tree) not in wanted:
            os.remove(path)
PY

saved=""  # "path" of the file now mutated; its original is in $work/original
restore() {
  if [ -n "$saved" ]; then
    cp "$work/original" "$tree/$saved"  # a fresh time stamp: the next build recompiles it
    saved=""
  fi
}
trap 'restore; exit 130' INT TERM
trap restore EXIT

ref_dir=$root/../shared/reference
cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=Release -DHALVORIX_BENCH=OFF \
  -DHALVORIX_REFERENCE_DIR="$ref_dir" >"$log" 2>&1 || { cat "$log"; exit 2; }
run_report_tests() {
  cmake "$build" >"$log" 2>&1 || return 2
  ctest --test-dir "$build" -j 2 --stop-on-failure --timeout 300 -R "$report_tests" >>"$log" \
    2>&1 || return 1
  return 0
}
run_tests() {
  cmake --build "$build" -j 2 >"$log" 2>&1 || return 2
  # In the order they are defined (unit tests first), not longest first as recorded costs would
  # have it: most mutations are caught by a unit test within seconds.
  rm -f "$build/Testing/Temporary/CTestCostData.txt"
  ctest --test-dir "$build" -j 2 --stop-on-failure --timeout 300 -E "$exclude" >>"$log" 2>&1 \
    || return 1
  return 0
}
# Which suites the chosen mutations need: C++ (build, unit and end-to-end) and/or the report's.
need_cpp=0 need_report=0
while IFS=$'\t' read -r name file _; do
  case $name in ''|'#'*) continue ;; esac
  [ "$only" = "  " ] || [[ $only == *" $name "* ]] || continue
  case $file in src/report/*) need_report=1 ;; *) need_cpp=1 ;; esac
done <"$list"
start=$(date +%s)
echo "baseline: building and running the unmutated copy"
for suite in run_tests run_report_tests; do
  [ "$suite" = run_tests ] && [ "$need_cpp" = 0 ] && continue
  [ "$suite" = run_report_tests ] && [ "$need_report" = 0 ] && continue
  $suite </dev/null
  case $? in
    0) ;;
    *) echo "the unmutated copy does not build or pass its tests:"; tail -40 "$log"; exit 2 ;;
  esac
done
echo "baseline passes ($(( $(date +%s) - start )) s)"

# Python does the exact, counted replacement.
apply_mutation() {  # file original replacement
  python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1:4]
unescape = lambda s: s.replace("\\t", "\t").replace("\\n", "\n")
old, new = unescape(old), unescape(new)
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(f"found {text.count(old)} times")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

printf 'name\tfile\tresult\tseconds\n' >"$results"
total=0 caught=0 missed=0 broken=0
while IFS=$'\t' read -r name file original replacement <&3; do
  case $name in ''|'#'*) continue ;; esac
  [ "$only" = "  " ] || [[ $only == *" $name "* ]] || continue
  total=$((total + 1))
  t0=$(date +%s)
  cp "$tree/$file" "$work/original"
  saved=$file
  if ! why=$(apply_mutation "$tree/$file" "$original" "$replacement" 2>&1); then
    result="not-applied ($why)"
  else
    case $file in src/report/*) run_report_tests ;; *) run_tests ;; esac </dev/null
    case $? in
      1) result=caught ;;
      0) result=MISSED ;;
      *) result=build-failed ;;
    esac
  fi
  restore
  case $result in
    caught) caught=$((caught + 1)) ;;
    MISSED) missed=$((missed + 1)) ;;
    *) broken=$((broken + 1)) ;;
  esac
  seconds=$(( $(date +%s) - t0 ))
  printf '%s\t%s\t%s\t%s\n' "$name" "$file" "$result" "$seconds" >>"$results"
  printf '%-40s %-32s %s (%s s)\n' "$name" "$file" "$result" "$seconds"
done 3<"$list"

# The copy is back as it was: one more build leaves it ready for the next run.
if [ "$need_cpp" = 1 ]; then cmake --build "$build" -j 2 >"$log" 2>&1; else cmake "$build" >"$log" 2>&1; fi
echo "caught $caught of $total; missed $missed; not applied or not built $broken;" \
  "$(( $(date +%s) - start )) s in all"
[ "$caught" -eq "$total" ]
