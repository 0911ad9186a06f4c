#!/usr/bin/env bash
# Runs halvorix under address-space limits (ulimit -v).
# 1. Shrinking limits: every run either succeeds or stops with exit status 1 and one line
#    "error: out of memory while <activity>" - never an abort, a signal or a library's
#    exception text. One limit must stop it in the within-gene correlation work (an
#    allocation in the program's own code) and one must let it pass.
# 2. A simulation whose replicates would fill a fixed 512 MB budget, under a 150 MB limit:
#    the budget follows the limit, and the results are those of the run without one.
# 3. halvorix-prep scores under shrinking limits: as in 1, and one limit must stop it with
#    "error: out of memory while running halvorix-prep scores".
# Two threads, two malloc arenas: the address space a run starts with depends on them.
#   memory_limits.sh HALVORIX HALVORIX-PREP
set -u
bin=$1 prep=$2
data=$(cd "$(dirname "$0")/../data/prep/bed" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
# One gene of 3000 SNPs over 100 subjects: its correlation sums take a 32 MB block.
awk 'BEGIN {
  srand(3)
  for (i = 0; i < 3000; ++i) {
    line = "s" i
    for (j = 0; j < 100; ++j) line = line " " sprintf("%.3f", rand() - 0.5)
    print line > "score.dat"
    print "BIG s" i " 0" > "gene_snp.dat"
  }
}'
fail=0 passed=0 in_genes=0
for kb in 200000 150000 120000 100000 90000 80000 70000 60000 50000 40000 30000 20000; do
  rc=0
  rm -f out.csv out.html
  (ulimit -v "$kb" && HALVORIX_THREADS=2 MALLOC_ARENA_MAX=2 exec "$bin" --method GENE \
    --nsim 10 --seed 3 --csv_output out.csv --html_output out.html) >stdout 2>stderr || rc=$?
  if [ "$rc" = 0 ]; then
    passed=1
    continue
  fi
  if [ "$rc" != 1 ] || [ "$(wc -l <stderr)" != 1 ] ||
    ! grep -qE '^error: out of memory while [a-z]' stderr; then
    echo "limit $kb kB: exit status $rc, standard error:"
    cat stderr
    fail=1
  fi
  grep -q '^error: out of memory while computing the gene scores' stderr && in_genes=1
  if [ -e out.csv ] || [ -e out.html ]; then
    echo "limit $kb kB: a result file was left by a failed run"
    fail=1
  fi
done
[ "$passed" = 1 ] || { echo "no limit let the run finish"; fail=1; }
[ "$in_genes" = 1 ] || { echo "no limit stopped the run in the gene correlations"; fail=1; }

mkdir budget && cd budget || exit 2
awk 'BEGIN {
  srand(9)
  for (i = 0; i < 2000; ++i) {
    line = "s" i
    for (j = 0; j < 20; ++j) line = line " " sprintf("%.3f", rand() - 0.5)
    print line > "score.dat"
  }
}'
run_snp() {
  HALVORIX_THREADS=2 MALLOC_ARENA_MAX=2 "$bin" --method SNP --nsim 30000 --seed 5 \
    --csv_output "$1" >/dev/null 2>"$1.stderr"
}
run_snp free.csv || { echo "the SNP run without a limit failed"; fail=1; }
if ! (ulimit -v 150000 && run_snp limited.csv); then
  echo "the SNP run under a 150 MB limit failed:"
  cat limited.csv.stderr
  fail=1
elif ! cmp -s free.csv limited.csv; then
  echo "the SNP run under a 150 MB limit gave other results"
  fail=1
fi

cd "$work" && mkdir prep && cd prep || exit 2
cp "$data"/d.bed "$data"/d.bim "$data"/d.fam .
stopped=0
for kb in 60000 40000 30000 25000 20000 17500 15000 12500; do
  rc=0
  (ulimit -v "$kb" && HALVORIX_THREADS=2 MALLOC_ARENA_MAX=2 exec "$prep" scores --bfile d \
    --out score.dat) >stdout 2>stderr || rc=$?
  [ "$rc" = 0 ] && continue
  if [ "$rc" != 1 ] || [ "$(wc -l <stderr)" != 1 ] || ! grep -q '^error: ' stderr; then
    echo "halvorix-prep, limit $kb kB: exit status $rc, standard error:"
    cat stderr
    fail=1
  fi
  grep -qx 'error: out of memory while running halvorix-prep scores' stderr && stopped=1
done
[ "$stopped" = 1 ] || { echo "no limit stopped halvorix-prep with the out-of-memory line"; fail=1; }
exit "$fail"
