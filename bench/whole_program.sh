#!/usr/bin/env bash
# Whole-program timings on generated genome-like inputs, for the fast build and for a build
# whose simulations use the literal one-SNP loop ("before"). Prints wall time and peak memory
# of each run (GNU time). Usage: bash bench/whole_program.sh [all|snp|gene|go]
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
command -v /usr/bin/time >/dev/null || { apt-get install -y -qq time >/dev/null; }
cmake --preset release >/dev/null && cmake --build --preset release --target halvorix halvorix_make_data >/dev/null
cmake -S . -B build/literal -DCMAKE_BUILD_TYPE=Release -DHALVORIX_LITERAL_KERNEL=ON \
  -DHALVORIX_TESTS=OFF -DHALVORIX_BENCH=OFF >/dev/null
cmake --build build/literal -j2 --target halvorix >/dev/null
data=build/bench-data
gen() {  # name, generator arguments...
  local name=$1; shift
  [ -f "$data/$name/score.dat" ] || build/release/halvorix_make_data --out "$data/$name" "$@" >/dev/null
}
run() {  # label, binary, data folder, arguments...
  local label=$1 bin=$2 dir=$3; shift 3
  local out; out=$(mktemp -d)
  cp "$dir"/*.dat "$out/"
  (cd "$out" && /usr/bin/time -f "%e %M" -o time.txt "$OLDPWD/$bin" "$@" >stdout.txt)
  read -r secs kb <"$out/time.txt"
  printf '%-44s %8.1f s %8.0f MB\n' "$label" "$secs" "$((kb / 1024))"
  rm -rf "$out"
}
if [ "$which" = all ] || [ "$which" = snp ]; then
  gen gene --snps 10000 --subjects 1000 --genes 800 --max-gene-snps 60 --go-terms 2000 --pathways 100
  for b in release literal; do
    run "SNP 10k x 1000, nsim 1000 ($b)" build/$b/halvorix $data/gene --method SNP --nsim 1000 --seed 1
  done
fi
if [ "$which" = all ] || [ "$which" = gene ]; then
  gen gene --snps 10000 --subjects 1000 --genes 800 --max-gene-snps 60 --go-terms 2000 --pathways 100
  for b in release literal; do
    run "GENE nor 10k x 1000, 800 genes, nsim 100 ($b)" build/$b/halvorix $data/gene --method GENE --nsim 100 --seed 1
    run "GENE sim 10k x 1000, 800 genes, nsim 100 ($b)" build/$b/halvorix $data/gene --method GENE --nsim 100 --seed 1 --gene-moments sim
  done
fi
if [ "$which" = all ] || [ "$which" = go ]; then
  gen go --snps 50000 --subjects 1000 --genes 5000 --go-terms 10000 --pathways 300
  for b in release literal; do
    run "GO default 50k x 1000, nsim 1000 ($b)" build/$b/halvorix $data/go --nsim 1000 --seed 1
  done
fi
