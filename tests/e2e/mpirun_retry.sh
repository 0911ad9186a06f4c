# Sourced by the MPI tests. The launcher itself is not reliable when a job ends by an abort, as
# a job whose process fails alone may (seen with Open MPI 4.1.4, more often on a loaded
# machine). Now and then, after every process has ended, mpirun
#   - hangs, with the processes unreaped, and then ignores SIGTERM;
#   - crashes in its own clean-up (a backtrace with an "mpirun(" frame on standard error);
#   - has its event library print a "[warn] Epoll ..." line on standard error.
#   mpirun_retrying OUT ERR ARGS...
# runs `mpirun ARGS` with standard output in OUT and standard error in ERR. An attempt that
# faltered so is run again, up to three attempts, its files written anew, so a test sees the
# last attempt only. A program that really hangs or crashes does so every time and still
# fails: a crash of the program's own processes leaves frames of the program, not of mpirun.
# With HALVORIX_MPIRUN_LOG set to a file, each attempt run again is noted there with its
# standard error, to see how often the launcher falters.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
# The cases are tiny: a run takes a second or two, so thirty seconds means a hang.
mpirun_time_limit=30
launcher_faltered() {
  local status=$1 seconds=$2 err=$3
  [ "$seconds" -ge $mpirun_time_limit ] && return 0
  [ "$status" -gt 128 ] && grep -q '\] mpirun(' "$err" && return 0
  grep -q '^\[warn\] Epoll ' "$err"
}
mpirun_retrying() {
  local out=$1 err=$2 status start
  shift 2
  for _ in 1 2 3; do
    start=$SECONDS
    # In a subshell that waits (the exit keeps it from becoming timeout itself), so that the
    # shell's "Killed" notice of an ended attempt lands in ERR, not in the caller's.
    (timeout -k 10 $mpirun_time_limit mpirun "$@" </dev/null; exit $?) >"$out" 2>"$err"
    status=$?
    launcher_faltered $status $((SECONDS - start)) "$err" || break
    if [ -n "${HALVORIX_MPIRUN_LOG:-}" ]; then
      { echo "=== run again after status $status, $((SECONDS - start)) s: mpirun $*"; cat "$err"; } \
        >>"$HALVORIX_MPIRUN_LOG"
    fi
  done
  return $status
}
