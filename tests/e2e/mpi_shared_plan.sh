#!/usr/bin/env bash
# The processes of a job run one plan with one seed, and an error that ends the job ends it
# without Open MPI's abort banner. Processes are given different arguments with mpirun's
# "A : B" form. mpirun runs without -q here: the banner is what some checks look for.
#   mpi_shared_plan.sh HALVORIX
set -u
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/mpirun_retry.sh"
work=$(mktemp -d) session=$(mktemp -d)
trap 'rm -rf "$work" "$session"' EXIT
cp -R "$here/../data/tiny/." "$work/"
cd "$work" || exit 2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# job NAME EXPECTED_RC MPIRUN_ARGS...: stdout and stderr in NAME.out and NAME.err.
job() {
  local name=$1 want=$2
  shift 2
  mpirun_retrying "$name.out" "$name.err" --oversubscribe --mca orte_tmpdir_base "$session" "$@"
  local rc=$?
  [ "$rc" -eq "$want" ] || { fail "$name: exit status $rc, expected $want"; sed 's/^/  | /' "$name.err"; }
}
# once NAME TEXT: TEXT stands exactly once in the job's output (both channels), and the job
# was not ended by MPI_Abort.
once() {
  local n
  n=$(cat "$1.out" "$1.err" | grep -cF -- "$2")
  [ "$n" -eq 1 ] || { fail "$1: '$2' printed $n times"; sed 's/^/  | /' "$1.out" "$1.err"; }
  if grep -q 'MPI_ABORT' "$1.out" "$1.err"; then fail "$1: ended by MPI_Abort"; fi
}

# A clock seed: every process draws process 0's stream, so the printed seed repeats the run, in
# a job and in one process.
gene=(--method GENE --nsim 200)
job clock 0 -n 2 "$bin" "${gene[@]}" --csv_output clock.csv
seed=$(sed -n 's/^seed = //p' clock.out)
case "$seed" in '' | 0 | *[!0-9]*) fail "clock: no positive seed printed: '$seed'" ;; esac
job again 0 -n 2 "$bin" "${gene[@]}" --seed "$seed" --csv_output again.csv
cmp -s clock.csv again.csv || fail "a job's clock seed, given again, gives other results"
"$bin" "${gene[@]}" --seed "$seed" --csv_output single.csv >/dev/null
cmp -s clock.csv single.csv || fail "a job's clock seed gives other results in one process"

# Options that change results must agree; the message names the option.
snp=(--method SNP --nsim 50)
job seeds 1 -n 1 "$bin" "${snp[@]}" --seed 3 : -n 1 "$bin" "${snp[@]}" --seed 4
once seeds "error: the processes of this run were given different values of --seed"
printf '# one process reads this\n\n--seed 3\n--nsim 60\n' >other.par
job parfile 1 -n 1 "$bin" "${snp[@]}" --seed 3 : -n 1 "$bin" --parfile other.par --method SNP
once parfile "different values of --nsim"

# An error every process meets: one message, status 1, every process leaves the job.
job bad_option 1 -n 2 "$bin" --method BOGUS
once bad_option "error: invalid method: BOGUS"
job bad_input 1 -n 3 "$bin" "${snp[@]}" --seed 3 --score score_word.dat
once bad_input "error:"
# One process alone ends early (help on its command line): the others do not wait for it.
job lone_help 1 -n 1 "$bin" "${snp[@]}" --seed 3 : -n 1 "$bin" --help
once lone_help "error: process 1 of 2 ended its run before the others"
job lone_help_0 1 -n 1 "$bin" --version : -n 2 "$bin" "${snp[@]}" --seed 3
once lone_help_0 "error: process 0 of 3 ended its run before the others"
# One process alone fails: its own message, and the job ends whole, at the others' next step
# when they get there soon ...
job lone_error 1 -n 2 "$bin" "${snp[@]}" --seed 3 : -n 1 "$bin" "${snp[@]}" --seed 3 --score score_word.dat
once lone_error "halvorix process 2 of 3: error:"
# ... and by an abort within seconds when they are busy (here for hours), not when they finish.
busy=(--method GENE --nsim 1000000000 --seed 3 --html_output busy.html --csv_output busy.csv)
start=$SECONDS
job lone_error_busy 1 -n 2 "$bin" "${busy[@]}" : -n 1 "$bin" "${busy[@]}" --score score_word.dat
[ $((SECONDS - start)) -lt 25 ] || fail "lone_error_busy: the job took $((SECONDS - start)) s"
grep -qF "halvorix process 2 of 3: error:" lone_error_busy.err || fail "lone_error_busy: no message"
[ -e busy.html ] || [ -e busy.csv ] && fail "lone_error_busy: a result was written"

[ "$failures" -eq 0 ] && echo "every job ran one plan with one seed, and ended cleanly"
exit $((failures > 0))
