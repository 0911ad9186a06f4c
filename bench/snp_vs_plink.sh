#!/usr/bin/env bash
# The SNP method against PLINK 1.9's max(T) permutation test on the same genotypes: wall time
# and peak memory, best of three runs each, interleaved so that both see the same machine load.
# The halvorix runs read the text score file and its packed binary form.
# PLINK is only a yardstick here; the script skips it when `plink1.9` is not installed.
#   bash bench/snp_vs_plink.sh [SNPS SUBJECTS NSIM [OTHER_HALVORIX]]
# OTHER_HALVORIX, when given, is timed on the same score file too (e.g. an older build).
set -euo pipefail
cd "$(dirname "$0")/.."
snps=${1:-10000} subjects=${2:-1000} nsim=${3:-1000} other=${4:-}
command -v /usr/bin/time >/dev/null || { apt-get install -y -qq time >/dev/null; }
cmake --preset release >/dev/null
cmake --build --preset release --target halvorix halvorix-prep halvorix_make_plink >/dev/null
bin=$PWD/build/release
data=build/bench-data/vs_plink_${snps}x${subjects}
if [ ! -f "$data/score.dat" ]; then
  mkdir -p "$data"
  "$bin/halvorix_make_plink" --random "$data/study" --snps "$snps" --subjects "$subjects" >/dev/null
  "$bin/halvorix-prep" scores --bfile "$data/study" --out "$data/score.dat" >/dev/null
fi
[ -f "$data/score.bin" ] || "$bin/halvorix-prep" pack --score "$data/score.dat" --out "$data/score.bin" >/dev/null
best() {  # label, command...: best wall time and its peak memory of three runs
  local label=$1; shift
  local best_s="" best_kb=0
  for _ in 1 2 3; do
    (cd "$data" && /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null 2>&1)
    read -r s kb <"$data/time.txt"
    if [ -z "$best_s" ] || awk "BEGIN{exit !($s < $best_s)}"; then best_s=$s best_kb=$kb; fi
  done
  printf '%-52s %7.2f s %7.0f MB\n' "$label" "$best_s" "$((best_kb / 1024))"
}
echo "$snps SNPs x $subjects subjects, $nsim replicates ($(nproc) CPUs)"
best "halvorix --method SNP, text scores" "$bin/halvorix" --method SNP --nsim "$nsim" --seed 1
best "halvorix --method SNP, binary scores" "$bin/halvorix" --method SNP --nsim "$nsim" --seed 1 \
  --score score.bin
[ -n "$other" ] && best "$other --method SNP" "$other" --method SNP --nsim "$nsim" --seed 1
if command -v plink1.9 >/dev/null; then
  for t in 1 2; do
    best "plink1.9 --assoc mperm=$nsim --threads $t" plink1.9 --bfile study --assoc \
      "mperm=$nsim" --threads "$t" --allow-no-sex --out plink_out
  done
fi
