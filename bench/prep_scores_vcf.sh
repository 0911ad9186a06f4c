#!/usr/bin/env bash
# Times `halvorix-prep scores` on the same random genotypes read four ways, in one run: the
# PLINK .bed, a bgzipped VCF with GT and a fractional DS (as imputation servers write them)
# read as GT counts and as DS dosages, and the same as BCF. Default 100,000 SNPs x 5,000
# subjects, the size of bench/prep_scores.sh; the VCF is about 4 GB before compression.
#
#   bash bench/prep_scores_vcf.sh [BUILD_DIR [WORK_DIR]]
#
# BUILD_DIR defaults to build/release, WORK_DIR to BUILD_DIR/bench-prep-vcf; SNPS and SUBJECTS
# in the environment change the size. Inputs are kept for the next run (delete WORK_DIR to
# regenerate), score files removed after each timing. Prints wall time, peak memory and the
# ratio to the .bed route.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
work=${2:-$build/bench-prep-vcf}
snps=${SNPS:-100000}
subjects=${SUBJECTS:-5000}

cmake --build "$build" --target halvorix-prep halvorix_make_plink -j2 >/dev/null
mkdir -p "$work"
if [[ ! -f "$work/random.bcf" ]]; then
  echo "generating $snps SNPs x $subjects subjects in $work/random.{bed,bim,fam,vcf.gz,bcf}"
  "$build/halvorix_make_plink" --random "$work/random" --snps "$snps" --subjects "$subjects"
  "$build/halvorix_make_plink" --vcf "$work/random" "$work/random.vcf.gz" --dosage fraction
  "$build/halvorix_make_plink" --vcf "$work/random" "$work/random.bcf" --dosage fraction
fi
awk 'BEGIN { print "FID IID trait" } { print $1, $2, $6 }' "$work/random.fam" >"$work/pheno.txt"
ls -l "$work"/random.bed "$work"/random.vcf.gz "$work"/random.bcf

bed_seconds=
run() {  # label, arguments...
  local label=$1; shift
  /usr/bin/time -f '%e %M' -o "$work/time.txt" \
    "$build/halvorix-prep" scores "$@" --pheno "$work/pheno.txt" --out "$work/score.dat" >/dev/null
  read -r seconds kilobytes <"$work/time.txt"
  local bytes; bytes=$(stat -c %s "$work/score.dat")
  rm -f "$work/score.dat"
  bed_seconds=${bed_seconds:-$seconds}
  awk -v l="$label" -v s="$seconds" -v k="$kilobytes" -v b="$bed_seconds" -v o="$bytes" \
    -v n="$snps" -v m="$subjects" 'BEGIN {
      printf "%-26s %7.1f s  %6.0f MB peak  %5.1f M genotypes/s  %4.2fx the .bed time  (%.2f GB written)\n",
             l, s, k / 1024, n * m / s / 1e6, s / b, o / 1e9 }'
}
run ".bed" --bfile "$work/random"
run "VCF.gz, GT counts" --vcf "$work/random.vcf.gz"
run "VCF.gz, DS dosages" --vcf "$work/random.vcf.gz" --dosage DS
run "BCF, DS dosages" --vcf "$work/random.bcf" --dosage DS
rm -f "$work/time.txt"
