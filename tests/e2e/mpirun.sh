#!/usr/bin/env bash
# golden.sh's program for the MPI cases: runs HALVORIX_TEST_BIN with the given arguments as
# HALVORIX_TEST_RANKS processes of one job. -q keeps mpirun's own notices (such as the one
# after a failed process ends the job) off standard error, which must match the one-process
# run byte for byte; --oversubscribe lets more processes run than the machine has cores.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
exec mpirun -q --oversubscribe -n "$HALVORIX_TEST_RANKS" "$HALVORIX_TEST_BIN" "$@"
