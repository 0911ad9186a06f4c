#!/usr/bin/env bash
# Round trip from the example PLINK study to GO and KEGG results: every halvorix-prep command
# on examples/plink, then halvorix on what they wrote. Compares the prepared inputs and the
# analysis outputs with tests/e2e/expected/prep_round_trip/ byte for byte (timing masked).
#   prep_round_trip.sh PREP_BIN HALVORIX_BIN [--update]
set -u
prep=$1 halvorix=$2 mode=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
study="$here/../../examples/plink"
expected="$here/expected/prep_round_trip"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out="$work/out"
mkdir -p "$out"
step() {  # name, command...: keeps the console and exit status of each step
  local name=$1; shift
  "$@" >"$out/$name.stdout" 2>"$out/$name.stderr" </dev/null
  echo $? >"$out/$name.rc"
}
cd "$work"
step scores "$prep" scores --bfile "$study/study" --pheno "$study/pheno.txt" --pheno-name trait \
  --covar "$study/covar.txt" --covar-name age,sex --out score.dat
step genemap "$prep" genemap --bim "$study/study.bim" --genes "$study/genes.txt" --out gene_snp.dat
step go "$prep" go --obo "$study/go.obo" --out go_edges.dat
step gogene "$prep" gogene --gaf "$study/go.gaf" --out go_gene.dat
step kegg "$prep" kegg --links "$study/kegg_links.txt" --out kegg_gene.dat
step halvorix_go "$halvorix" --method GO --seed 5 --nsim 200 --csv_output go.csv --html_output go.html
step halvorix_kegg "$halvorix" --method KEGG --seed 6 --nsim 200 --csv_output kegg.csv --html_output kegg.html
# Summaries name the input paths, which differ between checkouts.
sed -i -e "s#$study#STUDY#g" "$out"/*.stdout "$out"/*.stderr
sed -i -E 's/^(Time \(clock\)[^:]*: ).*/\1<elapsed>/' "$out"/halvorix_*.stdout
cp score.dat gene_snp.dat go_edges.dat go_gene.dat kegg_gene.dat go.csv go.html kegg.csv kegg.html "$out/" 2>/dev/null
sed -i -e "s#$study#STUDY#g" "$out/score.dat" "$out/gene_snp.dat" "$out/go_edges.dat" "$out/go_gene.dat" "$out/kegg_gene.dat"
if [ "$mode" = "--update" ]; then
  rm -rf "$expected" && mkdir -p "$expected" && cp "$out"/* "$expected/"
  echo "updated prep_round_trip"; exit 0
fi
status=0
for f in $( (cd "$out" && ls; cd "$expected" && ls) | grep -v '\.new$' | sort -u); do
  if ! cmp -s "$out/$f" "$expected/$f"; then
    status=1; echo "--- prep_round_trip: $f differs"
    [ -f "$out/$f" ] && cp "$out/$f" "$expected/$f.new"
    diff "$expected/$f" "$out/$f" 2>&1 | head -20
  fi
done
[ $status -eq 0 ] && echo "prep_round_trip: prepared inputs and results match"
exit $status
