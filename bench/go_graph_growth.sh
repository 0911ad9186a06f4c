#!/usr/bin/env bash
# Time and peak memory of a GO run on degenerate graphs: a chain of N terms (each the parent of
# the next) and a cycle of N terms, every fifth term annotated with one gene of 200. With the
# default --max_size 30 almost every set passes the limit, so the work should follow N, not N^2.
#
#   bash bench/go_graph_growth.sh [BUILD_DIR [WORK_DIR]]
#
# BUILD_DIR defaults to build/release, WORK_DIR to BUILD_DIR/bench-go-growth. SIZES in the
# environment changes the term counts (default "10000 20000 100000").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
work=${2:-$build/bench-go-growth}
sizes=${SIZES:-10000 20000 100000}

cmake --build "$build" --target halvorix -j2 >/dev/null
mkdir -p "$work"
cd "$work"
awk 'BEGIN { for (s = 0; s < 200; ++s) print "rs" s, (s % 7) - 3, (s % 5) - 2, (s % 3) - 1, 1 }' >score.dat
awk 'BEGIN { for (s = 0; s < 200; ++s) print "G" s, "rs" s, 0 }' >gene_snp.dat
for n in $sizes; do
  for shape in chain cycle; do
    awk -v n="$n" -v shape="$shape" 'BEGIN {
      for (t = 1; t < n; ++t) print "bp T" t " is_a T" t - 1
      if (shape == "cycle") print "bp T0 is_a T" n - 1 }' >go_edges.dat
    awk -v n="$n" 'BEGIN { for (t = 0; t < n; t += 5) print "hs", "G" (t / 5) % 200, "T" t }' >go_gene.dat
    /usr/bin/time -f "$shape of $n terms: %e s, peak %M KB" \
      "$build/halvorix" --method GO --nsim 10 --seed 1 >/dev/null
  done
done
rm -f score.dat gene_snp.dat go_edges.dat go_gene.dat output.html output.csv
