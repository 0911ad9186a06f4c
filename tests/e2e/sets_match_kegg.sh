#!/usr/bin/env bash
# A GMT file holding the KEGG file's pathways gives the KEGG road's numbers: the same sets, sizes,
# scores, null moments, z-scores and p-values under the same seed, for the default scoring and
# for a simulated-moments one. The GMT is written from the example KEGG file by
# `halvorix-prep kegg --format gmt`, as a user would make it, and the sets of the two CSV files
# are matched by their names.
#   sets_match_kegg.sh HALVORIX HALVORIX-PREP
set -u
halvorix=$(realpath "$1")
prep=$(realpath "$2")
examples=$(cd "$(dirname "$0")/../../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples/score.dat" "$examples/gene_snp.dat" "$examples/kegg_gene.dat" "$work/"
cd "$work" || exit 1

"$prep" kegg --links kegg_gene.dat --format gmt --out pathways.gmt >prep.out 2>&1 ||
  { echo "halvorix-prep kegg --format gmt failed"; cat prep.out; exit 1; }
[ "$(wc -l <pathways.gmt)" -ge 10 ] || { echo "conversion lost the pathways"; exit 1; }
# A set of genes outside the gene map vanishes, as a pathway of such genes does.
printf '99999\thttps://www.genome.jp/dbget-bin/www_bget?pathway:hsa99999\tG41\tG42\n' >>pathways.gmt

# One line per set: its names (sorted), then every value and gene of the set, in CSV order.
by_name() {
  awk -F', *' 'NR > 1 { k = $1; $1 = ""
                        if ($2 ~ /^(KEGGID|SETID)$/) names[k] = names[k] " " $3
                        else values[k] = values[k] " " $2 "=" $3; keys[k] = 1 }
               END { for (k in keys) {
                       m = split(names[k], parts, " "); s = ""
                       for (i = 1; i <= m; ++i) for (j = i + 1; j <= m; ++j)
                         if (parts[j] < parts[i]) { t = parts[i]; parts[i] = parts[j]; parts[j] = t }
                       for (i = 1; i <= m; ++i) s = s " " parts[i]
                       print s " |" values[k] } }' "$1" | sort
}

status=0
for scoring in "--seed 19" "--seed 21 --gene-set-level meanZ --gene-moments sim --gene-level max"; do
  # shellcheck disable=SC2086
  "$halvorix" --method KEGG --nsim 200 $scoring --csv_output kegg.csv >kegg.out 2>&1 ||
    { echo "KEGG run failed ($scoring)"; cat kegg.out; exit 1; }
  # shellcheck disable=SC2086
  "$halvorix" --method SETS --gene_sets pathways.gmt --nsim 200 $scoring --csv_output sets.csv \
    >sets.out 2>&1 || { echo "SETS run failed ($scoring)"; cat sets.out; exit 1; }
  by_name kegg.csv >kegg.sets
  by_name sets.csv >sets.sets
  if [ "$(wc -l <kegg.sets)" -lt 10 ] || ! grep -q 'pval' kegg.sets; then
    echo "the KEGG run gave too few sets ($scoring)"
    status=1
  elif diff kegg.sets sets.sets; then
    echo "$(wc -l <kegg.sets) sets: same numbers on both roads ($scoring)"
  else
    echo "the roads differ ($scoring)"
    status=1
  fi
done
exit $status
