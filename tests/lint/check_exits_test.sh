#!/usr/bin/env bash
# scripts/check_exits.sh on made-up trees: it passes the allowed files and text that only
# names an exit, and fails on every form of a direct exit anywhere else, naming file and line.
#   check_exits_test.sh CHECK_SCRIPT
set -u
check=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

write_clean_tree() {
  rm -rf "$tmp/src"
  mkdir -p "$tmp/src/cli" "$tmp/src/files" "$tmp/src/engine" "$tmp/src/stats"
  for f in cli/fail.cpp files/mapped_file_guard.cpp engine/distributed_local.cpp \
           engine/distributed_mpi.cpp; do
    printf 'void stop() { std::exit(1); ::_exit(1); abort(); }\n' >"$tmp/src/$f"
  done
  cat >"$tmp/src/stats/clean.cpp" <<'CPP'
// An exit(1) here would skip the MPI abort; abort() too.
/* std::quick_exit(0) */ int f();
void g() {
  const char* text = "exit(1) and \"abort()\"";
  const char paren = '(';
  std::atexit(cleanup);
  at_quick_exit(cleanup);
  exit_failed_run(message);
  MPI_Abort(MPI_COMM_WORLD, 1);
  fail_stderr("error: could not exit(");
}
CPP
}

expect_pass() {
  if ! out=$(bash "$check" "$tmp" 2>&1); then
    echo "FAIL: a clean tree was refused: $out"; failures=$((failures + 1))
  fi
}

# $1: file under src/, $2: its code line (the second line of the file).
expect_caught() {
  write_clean_tree
  mkdir -p "$(dirname "$tmp/src/$1")"
  printf 'void h() {\n%s\n}\n' "$2" >"$tmp/src/$1"
  if out=$(bash "$check" "$tmp" 2>&1); then
    echo "FAIL: not caught in $1: $2"; failures=$((failures + 1))
  elif ! grep -q "^src/$1:2: " <<<"$out"; then
    echo "FAIL: $1 line 2 not named for: $2"; echo "$out"; failures=$((failures + 1))
  fi
}

write_clean_tree
expect_pass
expect_caught stats/bad.cpp '  exit(1);'
expect_caught stats/bad.cpp '  std::exit(EXIT_FAILURE);'
expect_caught stats/bad.cpp '  if (x) exit (2);'
expect_caught stats/bad.cpp '  ::_exit(1);'
expect_caught stats/bad.cpp '  _Exit(1);'
expect_caught stats/bad.cpp '  std::quick_exit(1);'
expect_caught stats/bad.cpp '  std::abort();'
expect_caught stats/bad.cpp '  const char* s = "a"; abort(); // exit(0)'
expect_caught stats/bad.h '  abort();'
# The allowed files are paths, not names: a fail.cpp elsewhere is not the failure path.
expect_caught stats/fail.cpp '  std::exit(1);'
expect_caught prep/distributed_mpi.cpp '  std::exit(1);'
[ "$failures" -eq 0 ] && echo "check_exits: all cases behave"
exit $((failures > 0))
