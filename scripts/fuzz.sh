#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, address + undefined-behaviour sanitizers) and runs
# the target of each loader for SECONDS seconds (default 10) from a seed corpus of the example
# files. A crash, hang (10 s on one input), leak or sanitizer report fails the run; the input
# that caused it is kept in build/fuzz/findings/. The loader report_csv is halvorix-report's
# CSV reader, fuzzed in Python (fuzz/report_csv.py, seeded: the same inputs every time) from
# the golden results; it needs no build.
#   bash scripts/fuzz.sh [SECONDS [LOADER...]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
declare -A seeds=(
  [score]=examples/score.dat [compact]=tests/data/binary/compact_dosages.dat
  [binary_header]=tests/data/prep/pack/packed.bin [gene_snp]=examples/gene_snp.dat [go_edges]=examples/go_edges.dat
  [go_gene]=examples/go_gene.dat [kegg_gene]=examples/kegg_gene.dat
  [parfile]=tests/data/tiny/options.par [bim]=examples/plink/study.bim
  [fam]=examples/plink/study.fam [bed]=examples/plink/study.bed [pheno]=examples/plink/pheno.txt
  [genes]=examples/plink/genes.txt [obo]=examples/plink/go.obo [gaf]=examples/plink/go.gaf
  [kegg_links]=examples/plink/kegg_links.txt [gene_sets]=tests/data/tiny/gene_sets.gmt
  [gmt]=tests/data/tiny/gene_sets.gmt)
loaders=("$@")
[ ${#loaders[@]} -gt 0 ] || loaders=(score compact binary_header gene_snp go_edges go_gene kegg_gene parfile bim fam bed
                                     pheno genes obo gaf kegg_links gene_sets gmt report_csv)

if [ "${loaders[*]}" != report_csv ]; then  # the C++ targets need the fuzz build
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz --target halvorix_fuzz
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
findings=build/fuzz/findings
for loader in "${loaders[@]}"; do
  if [ "$loader" = report_csv ]; then
    if ! python3 fuzz/report_csv.py --seconds "$seconds" --findings "$findings" \
        tests/e2e/expected >"$work/$loader.log" 2>&1; then
      tail -40 "$work/$loader.log"
      echo "$loader: finding kept in $findings"
      exit 1
    fi
    echo "$loader: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$work/$loader.log")"
    continue
  fi
  mkdir -p "$work/$loader"
  cp "${seeds[$loader]}" "$work/$loader/"
  # The harness's bed target reads 3 SNPs x 5 subjects: a valid one besides the example.
  [ "$loader" = compact ] && cp tests/data/binary/compact_genotypes.dat "$work/$loader/"
  # Both versions' headers, so that mutations cross from one layout to the other.
  [ "$loader" = binary_header ] && cp tests/data/binary/compact_*.dat "$work/$loader/"
  [ "$loader" = bed ] && printf '\x6c\x1b\x01\x00\x1b\xff\x03\xe4\x01' >"$work/$loader/valid.bed"
  if ! HALVORIX_FUZZ_LOADER=$loader TMPDIR=$work build/fuzz/fuzz/halvorix_fuzz \
      -max_total_time="$seconds" -timeout=10 -max_len=4096 -close_fd_mask=1 -artifact_prefix="$work/$loader-" "$work/$loader" >"$work/$loader.log" 2>&1; then
    mkdir -p "$findings"
    cp "$work/$loader"-* "$findings/" 2>/dev/null || true
    tail -40 "$work/$loader.log"
    echo "$loader: finding kept in $findings"
    exit 1
  fi
  echo "$loader: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$work/$loader.log" | head -1)"
done
