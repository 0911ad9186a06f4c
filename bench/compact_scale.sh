#!/usr/bin/env bash
# A study as large as its genotypes: PLINK 1.9 --dummy genotypes (default 1,000,000 SNPs x
# 10,000 subjects, a 2.5 GB .bed) made into a compact score file, then
#   halvorix --method SNP, nsim NSIM (100), against plink1.9 --assoc mperm=NSIM on the same .bed
#   with the same threads (PLINK_THREADS, 2);
#   halvorix --method KEGG, nsim NSIM, on GENES genes of 20 consecutive SNPs (50,000) and
#   PATHWAYS pathways of 5 to 30 random genes (300);
#   the default KEGG run (nsim 1000), end to end.
# Prints wall time, CPU time (user + system), and peak anonymous memory (RssAnon, sampled: the
# mapped score file is page cache, not the process's), the compact file's size, and the time a
# score-replicate of the SNP run. Takes minutes at the default size; never run in CI.
#
#   bash bench/compact_scale.sh          SNPS, SUBJECTS, NSIM, GENES, PATHWAYS, WORK set the size
#                                        and the folder (build/bench-compact), kept between runs;
#                                        SKIP_KEGG_1000=1 leaves out the nsim 1000 run,
#                                        SKIP_SNP=1 the SNP and PLINK runs
# plink1.9 is the yardstick and makes the genotypes: it is installed (Debian package plink1.9)
# when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
snps=${SNPS:-1000000} subjects=${SUBJECTS:-10000} nsim=${NSIM:-100}
genes=${GENES:-50000} pathways=${PATHWAYS:-300} threads=${PLINK_THREADS:-2}
work=${WORK:-$root/build/bench-compact}/${snps}x${subjects}
build=$root/build/release
cmake --preset release >/dev/null && cmake --build --preset release -j2 --target halvorix halvorix-prep >/dev/null
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null
command -v plink1.9 >/dev/null || apt-get install -y -qq plink1.9 >/dev/null
mkdir -p "$work"

# Peak RssAnon sampled every 20 ms (GNU time's maximum resident size counts mapped file pages).
measure() {  # label, command...
  local label=$1; shift
  local log; log=$(mktemp)
  /usr/bin/time -f "%e %U %S" -o "$log.time" "$@" >"$log.out" 2>&1 &
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
  read -r secs user sys <"$log.time"
  last_wall=$secs
  printf '%-58s %8.1f s wall %8.1f s cpu  peak anon %6d MB\n' "$label" "$secs" \
    "$(echo "$user + $sys" | bc)" $((anon / 1024))
  rm -f "$log" "$log.time" "$log.out"
}

echo "$snps SNPs x $subjects subjects, nsim $nsim, $(nproc) CPUs, load $(cut -d' ' -f1 /proc/loadavg)"
if [ ! -f "$work/dummy.bed" ]; then
  (cd "$work" && plink1.9 --dummy "$subjects" "$snps" --make-bed --out dummy >/dev/null)
fi
if [ ! -f "$work/score.cmp" ]; then
  measure "halvorix-prep scores --format compact" \
    "$build/halvorix-prep" scores --bfile "$work/dummy" --format compact --out "$work/score.cmp"
fi
printf '%-58s %8.2f GB (.bed %.2f GB)\n' "compact score file" \
  "$(echo "$(stat -c %s "$work/score.cmp") / 10^9" | bc -l)" \
  "$(echo "$(stat -c %s "$work/dummy.bed") / 10^9" | bc -l)"
if [ ! -f "$work/kegg_gene.dat" ]; then
  # Genes of 20 consecutive SNPs; pathways of 5 to 30 genes drawn at random (fixed seed).
  awk -v g="$genes" '{ k = int((NR - 1) / 20); if (k < g) print "G" k, $2, 0 }' \
    "$work/dummy.bim" >"$work/gene_snp.dat"
  awk -v g="$genes" -v p="$pathways" 'BEGIN { srand(7); for (i = 0; i < p; ++i) {
      n = 5 + int(rand() * 26); for (j = 0; j < n; ++j)
        printf "hsa:G%d path:hsa%05d\n", int(rand() * g), i } }' >"$work/kegg_gene.dat"
fi

run() {  # label, extra arguments
  local label=$1; shift
  local dir; dir=$(mktemp -d)
  measure "$label" bash -c "cd $dir && exec $build/halvorix --score $work/score.cmp --seed 1 $*"
  if [ -f "$dir/output.csv" ]; then md5sum "$dir/output.csv" | sed 's/^/    output.csv md5 /'; fi
  rm -rf "$dir"
}
if [ "${SKIP_SNP:-0}" != 1 ]; then
  run "halvorix --method SNP, compact, nsim $nsim" --method SNP --nsim "$nsim"
  snp_wall=$last_wall
  printf '    %.3f ns a score-replicate (%s scores x %s replicates)\n' \
    "$(echo "$snp_wall * 10^9 / ($snps * $subjects * $nsim)" | bc -l)" "$((snps * subjects))" "$nsim"
  measure "plink1.9 --assoc mperm=$nsim --threads $threads" \
    plink1.9 --bfile "$work/dummy" --assoc mperm="$nsim" --threads "$threads" --seed 1 \
    --out "$work/plink"
  printf '    halvorix is %.2f times as fast\n' "$(echo "$last_wall / $snp_wall" | bc -l)"
fi
run "halvorix --method KEGG, nsim $nsim, $genes genes, $pathways pathways" --method KEGG \
  --nsim "$nsim" --gene_snp "$work/gene_snp.dat" --kegg_gene "$work/kegg_gene.dat" --dist 0
if [ "${SKIP_KEGG_1000:-0}" != 1 ]; then
  run "halvorix --method KEGG, default nsim (1000)" --method KEGG \
    --gene_snp "$work/gene_snp.dat" --kegg_gene "$work/kegg_gene.dat" --dist 0
fi
