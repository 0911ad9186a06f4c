#!/usr/bin/env bash
# golden.sh's program for the MPI cases: runs HALVORIX_TEST_BIN with the given arguments as
# HALVORIX_TEST_RANKS processes of one job. -q keeps mpirun's own notices (such as the one
# after a failed process ends the job) off standard error, which must match the one-process
# run byte for byte; --oversubscribe lets more processes run than the machine has cores. Each
# job keeps its session files in a folder of its own: jobs started at the same moment (ctest -j)
# can otherwise collide in the shared one.
# mpirun itself now and then hangs after every process of an aborted job has ended (seen on a
# loaded machine with Open MPI 4.1). Such a job is run once more; what the test compares is the
# output of the last attempt only. A program that hangs hangs twice and still fails.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
session=$(mktemp -d)
for _ in 1 2; do
  timeout -k 10 120 mpirun -q --oversubscribe --mca orte_tmpdir_base "$session" \
    -n "$HALVORIX_TEST_RANKS" "$HALVORIX_TEST_BIN" "$@" >"$session/stdout" 2>"$session/stderr"
  status=$?
  [ $status -ne 124 ] && [ $status -ne 137 ] && break  # 124, 137: timed out
done
cat "$session/stdout"
cat "$session/stderr" >&2
rm -rf "$session"
exit $status
