#!/usr/bin/env bash
# A job in which one process fails must end whole, with status 1, a message that says what went
# wrong, and no result file. The processes are given different inputs with mpirun's
# "A : B" form, so no test hook is needed in the program.
#   mpi_failure.sh HALVORIX
set -u
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/mpirun_retry.sh"
work=$(mktemp -d) session=$(mktemp -d)  # the jobs' session files stay out of the work folder
trap 'rm -rf "$work" "$session"' EXIT
cp -R "$here/../data/tiny/." "$work/"
cd "$work" || exit 2
# The same SNP scores with one value changed: a valid file, but other data.
sed 's/^rs7 -0.45 /rs7 -0.46 /' score.dat >score_other.dat
cmp -s score.dat score_other.dat && { echo "score_other.dat is not different"; exit 2; }
listing=$(ls -A)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# job NAME EXPECTED_RC -- mpirun arguments: runs the job, checks its status and that it left
# no file behind (no result, no temporary file).
job() {
  local name=$1 want=$2
  shift 3
  mpirun_retrying "$work/$name.out" "$work/$name.err" -q --oversubscribe \
    --mca orte_tmpdir_base "$session" "$@"
  local rc=$?
  [ "$rc" -eq "$want" ] || fail "$name: exit status $rc, expected $want"
  local now
  now=$(ls -A | grep -v -e '\.out$' -e '\.err$')
  [ "$now" = "$listing" ] || fail "$name: files left behind: $(comm -13 <(echo "$listing") <(echo "$now") | tr '\n' ' ')"
}
contains() {  # contains NAME FILE TEXT
  grep -qF -- "$3" "$work/$1.$2" || { fail "$1: $2 lacks: $3"; sed 's/^/  | /' "$work/$1.$2"; }
}

snp=(--method SNP --nsim 50 --seed 3)
bad_message=$("$bin" "${snp[@]}" --score score_word.dat 2>&1 | tail -n 1)
case "$bad_message" in error:*) ;; *) fail "one-process run gave no error: $bad_message" ;; esac

# Process 1 alone reads a malformed file: it reports the error as its own and ends the job.
job rank1_bad_input 1 -- -n 1 "$bin" "${snp[@]}" : -n 1 "$bin" "${snp[@]}" --score score_word.dat
contains rank1_bad_input err "halvorix process 1 of 2: $bad_message"

# Process 0 alone fails: the console is the one-process run's, byte for byte.
"$bin" "${snp[@]}" --score score_word.dat >single.out 2>single.err
job rank0_bad_input 1 -- -n 1 "$bin" "${snp[@]}" --score score_word.dat : -n 2 "$bin" "${snp[@]}"
cmp -s single.out rank0_bad_input.out || fail "rank0_bad_input: stdout differs from one process"
cmp -s single.err rank0_bad_input.err || fail "rank0_bad_input: stderr differs from one process"
rm -f single.out single.err

# Every process reads a valid file, but one reads another version: the step-down counts of
# other statistics must not be added up.
for method in SNP GENE GO; do
  job "other_data_$method" 1 -- -n 2 "$bin" --method $method --nsim 30 --seed 3 : \
    -n 1 "$bin" --method $method --nsim 30 --seed 3 --score score_other.dat
  contains "other_data_$method" err "error: the processes of this run hold different observed statistics"
done

# A process that is lost (killed) mid-job takes the whole job down without a result.
job lost_process 137 -- -n 1 "$bin" "${snp[@]}" : -n 1 bash -c 'kill -KILL $$'

# And the same job with good inputs everywhere does write its result (the checks above do not
# pass for want of a working job).
mpirun_retrying good.out good.err -q --oversubscribe --mca orte_tmpdir_base "$session" -n 3 \
  "$bin" "${snp[@]}" || fail "good job: exit status $?"
[ -s output.csv ] || fail "good job: no output.csv"

[ "$failures" -eq 0 ] && echo "every failing-process job ended whole, with no result file"
exit $((failures > 0))
