#!/usr/bin/env bash
# Times `halvorix-prep scores` on a generated PLINK set of random genotypes (default 100,000
# SNPs x 5,000 subjects: a 125 MB .bed and about 4 GB of scores).
#
#   bash bench/prep_scores.sh [BUILD_DIR [WORK_DIR]]
#
# BUILD_DIR defaults to build/release (configured with `cmake --preset release`), WORK_DIR to
# BUILD_DIR/bench-prep. SNPS and SUBJECTS in the environment change the size; KEEP=1 keeps the
# score file, which is otherwise removed after the timing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
work=${2:-$build/bench-prep}
snps=${SNPS:-100000}
subjects=${SUBJECTS:-5000}

cmake --build "$build" --target halvorix-prep halvorix_make_plink -j2 >/dev/null
mkdir -p "$work"
echo "generating $snps SNPs x $subjects subjects in $work/random.{bed,bim,fam}"
"$build/halvorix_make_plink" --random "$work/random" --snps "$snps" --subjects "$subjects"

TIMEFORMAT='elapsed %R s (user %U s, system %S s)'
time "$build/halvorix-prep" scores --bfile "$work/random" --out "$work/score.dat"
ls -l "$work/score.dat"
if [[ "${KEEP:-0}" != 1 ]]; then rm -f "$work/score.dat"; fi
