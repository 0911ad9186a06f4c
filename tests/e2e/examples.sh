#!/usr/bin/env bash
# examples/ is exactly what its two generators write: regenerate it in a temporary folder, with
# the same relative --out that the files' "made by" lines name, and compare byte for byte.
#   examples.sh HALVORIX_MAKE_DATA HALVORIX_MAKE_PLINK
set -u
make_data=$(realpath "$1") make_plink=$(realpath "$2")
examples=$(cd "$(dirname "$0")/../../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/examples/plink"
cd "$work" || exit 1
"$make_data" --out examples >/dev/null || exit 1
"$make_plink" --example examples/plink >/dev/null || exit 1
# Everything but the generators' sources, the READMEs and the hand-written gene-set file
# (gene_sets.gmt) comes from a generator.
if diff -r -x README.md -x '*.cpp' -x gene_sets.gmt "$examples" examples; then
  echo "examples/ regenerates byte for byte"
else
  echo "examples/ differs from what its generators write"
  exit 1
fi
