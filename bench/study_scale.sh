#!/usr/bin/env bash
# Whole runs at the size of a real study, on PLINK --dummy genotypes: halvorix-prep scores in
# both formats, halvorix --method SNP (and GENE) from text and from binary, and PLINK 1.9's
# --assoc mperm on the same .bed when plink1.9 is installed. Prints wall time, peak resident
# memory and peak anonymous memory (RssAnon, which leaves out the mapped score file).
#
#   bash bench/study_scale.sh [text|binary|compact|all]
#
# `compact` runs the binary and the compact score files of the same genotypes side by side
# (both must write the same output.csv); `all` runs text, binary and compact.
#
# SNPS (default 100000), SUBJECTS (5000), NSIM (100), PLINK_THREADS (2), GENES (0: no GENE run; else genes of
# GENE_SNPS=20 consecutive SNPs) set the size; WORK (build/bench-study) holds the files.
# Wall and CPU (user + system) times: on a shared machine compare ratios within one run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
snps=${SNPS:-100000} subjects=${SUBJECTS:-5000} nsim=${NSIM:-100}
genes=${GENES:-0} gene_snps=${GENE_SNPS:-20}
work=${WORK:-$root/build/bench-study}/${snps}x${subjects}
build=$root/build/release
cmake --preset release >/dev/null && cmake --build --preset release --target halvorix halvorix-prep >/dev/null
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null
mkdir -p "$work"

# Peak RssAnon sampled every 20 ms (GNU time's maximum resident size counts mapped file pages).
measure() {  # label, command...
  local label=$1; shift
  local log; log=$(mktemp)
  /usr/bin/time -f "%e %U %S %M" -o "$log.time" "$@" >"$log.out" 2>&1 &
  local waiter=$! anon=0 pid
  sleep 0.05
  pid=$(pgrep -P "$waiter" | head -1 || true)
  while kill -0 "$waiter" 2>/dev/null; do
    if [ -n "$pid" ] && [ -r "/proc/$pid/status" ]; then
      local now; now=$(awk '/RssAnon/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
      [ -n "$now" ] && [ "$now" -gt "$anon" ] && anon=$now
    fi
    sleep 0.02
  done
  wait "$waiter" || { cat "$log.out"; exit 1; }
  read -r secs user sys kb <"$log.time"
  printf '%-52s %7.1f s wall %7.1f s cpu  peak RSS %6d MB  peak anon %6d MB\n' "$label" "$secs" \
    "$(echo "$user + $sys" | bc)" $((kb / 1024)) $((anon / 1024))
  rm -f "$log" "$log.time" "$log.out"
}

if [ ! -f "$work/dummy.bed" ]; then
  command -v plink1.9 >/dev/null || { echo "plink1.9 is needed to make the genotypes"; exit 1; }
  (cd "$work" && plink1.9 --dummy "$subjects" "$snps" --make-bed --out dummy >/dev/null)
fi
if [ "$genes" -gt 0 ] && [ ! -f "$work/gene_snp.dat" ]; then
  awk -v n="$gene_snps" -v g="$genes" '{ k = int((NR - 1) / n); if (k < g) print "G" k, $2, 0 }' \
    "$work/dummy.bim" >"$work/gene_snp.dat"
fi

# The score files are kept for the next run; REMAKE=1 writes (and times) them again.
if { [ "$which" = text ] || [ "$which" = all ]; } &&
  { [ "${REMAKE:-0}" = 1 ] || [ ! -f "$work/score.txt" ]; }; then
  measure "prep scores, text" "$build/halvorix-prep" scores --bfile "$work/dummy" --out "$work/score.txt"
fi
if [ "${REMAKE:-0}" = 1 ] || [ ! -f "$work/score.bin" ]; then
  measure "prep scores, binary" "$build/halvorix-prep" scores --bfile "$work/dummy" --format binary --out "$work/score.bin"
fi
if { [ "$which" = compact ] || [ "$which" = all ]; } &&
  { [ "${REMAKE:-0}" = 1 ] || [ ! -f "$work/score.cmp" ]; }; then
  measure "prep scores, compact" "$build/halvorix-prep" scores --bfile "$work/dummy" --format compact --out "$work/score.cmp"
fi

run() {  # label, score file, extra arguments
  local label=$1 score=$2; shift 2
  local dir; dir=$(mktemp -d)
  measure "$label" bash -c "cd $dir && exec $build/halvorix --score $score --nsim $nsim --seed 1 $*"
  if [ -f "$dir/output.csv" ]; then md5sum "$dir/output.csv" | sed 's/^/    output.csv md5 /'; fi
  rm -rf "$dir"
}
tag="$snps x $subjects, nsim $nsim"
if [ "$which" = text ] || [ "$which" = all ]; then
  run "halvorix SNP, text, $tag" "$work/score.txt" --method SNP
fi
run "halvorix SNP, binary, $tag" "$work/score.bin" --method SNP
if [ "$which" = compact ] || [ "$which" = all ]; then
  run "halvorix SNP, compact, $tag" "$work/score.cmp" --method SNP
fi
if [ "$genes" -gt 0 ]; then
  run "halvorix GENE, binary, $tag, $genes genes" "$work/score.bin" --method GENE --gene_snp "$work/gene_snp.dat" --dist 0
fi
if command -v plink1.9 >/dev/null; then
  measure "plink1.9 --assoc mperm=$nsim --threads ${PLINK_THREADS:-2}" \
    plink1.9 --bfile "$work/dummy" --assoc mperm="$nsim" --threads "${PLINK_THREADS:-2}" --seed 1 --out "$work/plink"
fi
