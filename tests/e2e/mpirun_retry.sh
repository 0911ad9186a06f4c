# Sourced by the MPI tests. mpirun itself now and then hangs after every process of an aborted
# job has ended (seen with Open MPI 4.1 on a loaded machine), and then ignores SIGTERM.
#   mpirun_retrying OUT ERR ARGS...
# runs `mpirun ARGS` with standard output in OUT and standard error in ERR. A run still going
# after two minutes is ended and run once more, its files written anew, so a test sees the last
# attempt only. A program that really hangs hangs twice and still fails.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
mpirun_retrying() {
  local out=$1 err=$2 status start
  shift 2
  for _ in 1 2; do
    start=$SECONDS
    # In a subshell that waits (the exit keeps it from becoming timeout itself), so that the
    # shell's "Killed" notice of an ended attempt lands in ERR, not in the caller's.
    (timeout -k 10 120 mpirun "$@" </dev/null; exit $?) >"$out" 2>"$err"
    status=$?
    [ $((SECONDS - start)) -lt 120 ] && break
  done
  return $status
}
