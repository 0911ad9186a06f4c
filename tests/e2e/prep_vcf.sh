#!/usr/bin/env bash
# The VCF route against the .bed route on the example PLINK study: the study written as VCF,
# bgzipped VCF and BCF (with a whole-number DS and one multi-allelic record) must give the same
# score lines as the .bed, from GT and from DS, and the same gene map as the .bim; each route's
# binary form must be its text form packed, its compact form must decode to its text form, and
# the compact form from GT must be the .bed's, byte for byte.
#   prep_vcf.sh PREP_BIN MAKE_PLINK_BIN
set -u
prep=$1 make_plink=$2
study="$(cd "$(dirname "$0")/../../examples/plink" && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # description, command...: counts a failure when the command fails
  local what=$1; shift
  if ! "$@"; then echo "FAILED: $what"; failures=$((failures + 1)); fi
}
tables=(--pheno "$study/pheno.txt" --pheno-name trait --covar "$study/covar.txt" --covar-name age,sex)
for out in study.vcf study.vcf.gz study.bcf; do
  "$make_plink" --vcf "$study/study" "$out" || exit 1
done
"$prep" scores --bfile "$study/study" "${tables[@]}" --out bed.dat >bed.log || exit 1
grep -v '^#' bed.dat >bed.lines
# The binary form holds exactly the floats of the text form: the same bytes as packing it.
binary_matches_text() {  # text score file, prep scores arguments...
  local text=$1; shift
  "$prep" scores "$@" --format binary --out direct.bin >/dev/null &&
    "$prep" pack --score "$text" --out packed.bin >/dev/null && cmp -s direct.bin packed.bin
}
check "scores --bfile --format binary equals pack of the text" \
  binary_matches_text bed.dat --bfile "$study/study" "${tables[@]}"
"$prep" scores --bfile "$study/study" "${tables[@]}" --format compact --out bed.cmp >/dev/null || exit 1
# A compact file decodes to the floats of the text form: unpacked, the same score lines.
compact_matches_text() {  # text score file, prep scores arguments...
  local text=$1; shift
  "$prep" scores "$@" --format compact --out direct.cmp >/dev/null &&
    "$prep" unpack --score direct.cmp --out unpacked.txt >/dev/null &&
    cmp -s unpacked.txt <(grep -v '^#' "$text")
}
for input in study.vcf study.vcf.gz study.bcf; do
  for field in GT DS; do
    dosage=(); [ $field = DS ] && dosage=(--dosage DS)
    check "scores --vcf $input ($field) runs" \
      "$prep" scores --vcf "$input" "${dosage[@]}" "${tables[@]}" --out vcf.dat >vcf.log
    check "score lines of $input ($field) equal the .bed's" cmp -s bed.lines <(grep -v '^#' vcf.dat)
    check "$input: the multi-allelic record is counted" grep -q 'multi-allelic      = 1 ' vcf.log
    check "scores --vcf $input ($field) --format binary equals pack of the text" \
      binary_matches_text vcf.dat --vcf "$input" "${dosage[@]}" "${tables[@]}"
    check "scores --vcf $input ($field) --format compact decodes to the text" \
      compact_matches_text vcf.dat --vcf "$input" "${dosage[@]}" "${tables[@]}"
    if [ $field = GT ]; then
      check "scores --vcf $input --format compact is the .bed's compact file" cmp -s direct.cmp bed.cmp
    fi
    check "$input: the same summary counts" cmp -s <(grep -E 'SNPs  |kept|dropped|missing geno' bed.log) \
      <(grep -E 'SNPs  |kept|dropped|missing geno' vcf.log)
  done
done
"$prep" genemap --bim "$study/study.bim" --genes "$study/genes.txt" --out bim_map.dat >/dev/null || exit 1
for input in study.vcf.gz study.bcf; do
  check "genemap --vcf $input runs" \
    "$prep" genemap --vcf "$input" --genes "$study/genes.txt" --out vcf_map.dat >/dev/null
  check "genemap --vcf $input equals genemap --bim" cmp -s bim_map.dat vcf_map.dat
done
[ $failures -eq 0 ] && echo "prep_vcf: VCF, bgzipped VCF and BCF routes match the .bed route"
exit $failures
