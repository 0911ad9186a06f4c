#!/usr/bin/env bash
# The score-file routes from genotypes: the example PLINK study, and the same study as a VCF
# with fractional dosages, made into text and compact score files by halvorix-prep. Checks
#  - that tests/data/plink_*/ hold exactly what halvorix-prep writes (the golden cases of
#    cases.tsv run on them: text, packed binary and compact, alone and under MPI);
#  - that the compact file from the VCF's GT calls is the .bed's compact file, byte for byte;
#  - that unpacking a compact file gives the text route's score lines;
#  - that every golden case of a compact folder has the very bytes of its text twin.
#   prep_routes.sh PREP_BIN MAKE_PLINK_BIN [--update]
set -u
prep=$1 make_plink=$2 mode=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
study="$(cd "$here/../../examples/plink" && pwd)"
data="$here/../data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
tables=(--pheno "$study/pheno.txt" --pheno-name trait --covar "$study/covar.txt" --covar-name age,sex)
"$make_plink" --vcf "$study/study" dosage.vcf.gz --dosage fraction >/dev/null || exit 1
"$make_plink" --vcf "$study/study" calls.vcf.gz >/dev/null || exit 1
for folder in plink_text plink_compact plink_dosage_text plink_dosage_compact; do
  mkdir -p "$folder"
  "$prep" genemap --bim "$study/study.bim" --genes "$study/genes.txt" --out "$folder/gene_snp.dat" &&
    "$prep" go --obo "$study/go.obo" --out "$folder/go_edges.dat" &&
    "$prep" gogene --gaf "$study/go.gaf" --out "$folder/go_gene.dat" &&
    "$prep" kegg --links "$study/kegg_links.txt" --out "$folder/kegg_gene.dat" || exit 1
done >/dev/null
"$prep" scores --bfile "$study/study" "${tables[@]}" --out plink_text/score.dat >/dev/null &&
  "$prep" scores --bfile "$study/study" "${tables[@]}" --format compact \
    --out plink_compact/score.dat >/dev/null &&
  "$prep" scores --vcf dosage.vcf.gz --dosage DS "${tables[@]}" \
    --out plink_dosage_text/score.dat >/dev/null &&
  "$prep" scores --vcf dosage.vcf.gz --dosage DS "${tables[@]}" --format compact \
    --out plink_dosage_compact/score.dat >/dev/null || exit 1
# The text files name the example study's path in their comment line.
sed -i "s#$study#STUDY#g" plink_text/score.dat plink_dosage_text/score.dat

"$prep" scores --vcf calls.vcf.gz "${tables[@]}" --format compact --out calls.dat >/dev/null ||
  fail "compact scores from the VCF's GT"
cmp -s calls.dat plink_compact/score.dat || fail "compact file from GT differs from the .bed's"

# unpack writes a compact file's scores as the text route writes them (the comment line aside).
for pair in plink_compact:plink_text plink_dosage_compact:plink_dosage_text; do
  "$prep" unpack --score "${pair%%:*}/score.dat" --out unpacked.txt >/dev/null ||
    fail "unpack ${pair%%:*}"
  cmp -s unpacked.txt <(grep -v '^#' "${pair##*:}/score.dat") ||
    fail "unpack of ${pair%%:*} differs from ${pair##*:}'s score lines"
done

if [ "$mode" = "--update" ]; then
  for folder in plink_text plink_compact plink_dosage_text plink_dosage_compact; do
    rm -rf "${data:?}/$folder" && cp -R "$folder" "$data/$folder"
  done
  echo "updated tests/data/plink_*"
  exit $failures
fi
for folder in plink_text plink_compact plink_dosage_text plink_dosage_compact; do
  diff -r "$folder" "$data/$folder" >/dev/null || fail "tests/data/$folder is not what halvorix-prep writes"
done
# Twin golden cases: the same arguments on a text and a compact folder give the same bytes.
for expected in "$here"/expected/plink_compact_* "$here"/expected/plink_dosage_compact_*; do
  [ -d "$expected" ] || { fail "no golden cases of compact folders"; continue; }
  twin=${expected/_compact_/_text_}
  diff -r -x '*.new' "$twin" "$expected" >/dev/null ||
    fail "$(basename "$expected") differs from $(basename "$twin")"
done
[ $failures -eq 0 ] && echo "prep_routes: text and compact routes give the same bytes"
exit $failures
