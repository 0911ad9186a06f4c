#!/usr/bin/env bash
# golden.sh's program for the MPI cases: runs HALVORIX_TEST_BIN with the given arguments as
# HALVORIX_TEST_RANKS processes of one job. -q keeps mpirun's own notices (such as the one
# after a failed process ends the job) off standard error, which must match the one-process
# run byte for byte; --oversubscribe lets more processes run than the machine has cores. Each
# job keeps its session files in a folder of its own: jobs started at the same moment (ctest -j)
# can otherwise collide in the shared one.
source "$(dirname "$0")/mpirun_retry.sh"
session=$(mktemp -d)
mpirun_retrying "$session/stdout" "$session/stderr" -q --oversubscribe \
  --mca orte_tmpdir_base "$session" -n "$HALVORIX_TEST_RANKS" "$HALVORIX_TEST_BIN" "$@"
status=$?
cat "$session/stdout"
cat "$session/stderr" >&2
rm -rf "$session"
exit $status
