#!/usr/bin/env bash
# Builds Halvorix, runs the default analysis (GO gene sets) on the bundled example data and
# makes the report of the run. Extra arguments go to the program, e.g.
# `bash scripts/demo.sh --method GENE`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target halvorix
run_dir=build/demo
rm -rf "$run_dir" && mkdir -p "$run_dir" && cp examples/*.dat examples/*.gmt "$run_dir/"
(cd "$run_dir" && ../release/halvorix --seed 1 "$@" | tee run.log)
echo
echo "Results: $run_dir/output.html and $run_dir/output.csv"
# The report needs the method of the run; the console log says which it was.
method=$(sed -n 's/^ --method //p' "$run_dir/run.log" | tr '[:lower:]' '[:upper:]')
extra=()
case "$method" in
  SNP | GENE) extra=(--gene_snp gene_snp.dat) ;;
  # The annotation with the gene map gives the report the run's gene-ID coverage.
  GO) extra=(--go_edges go_edges.dat --go_gene go_gene.dat --gene_snp gene_snp.dat) ;;
  KEGG) extra=(--kegg_gene kegg_gene.dat --gene_snp gene_snp.dat) ;;
  SETS) extra=(--gene_sets gene_sets.gmt --gene_snp gene_snp.dat) ;;
  *) exit 0 ;;  # --help, --version: no run to report
esac
(cd "$run_dir" && ../release/halvorix-report --method "$method" --csv output.csv --log run.log \
  "${extra[@]}" --out report)
echo "Report: $run_dir/report/report.html (figures as PNG and SVG, tables as .tsv beside it)"
