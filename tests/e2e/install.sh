#!/usr/bin/env bash
# Installs a build into a temporary prefix and runs the three programs from PATH there, in a
# folder outside the source tree: each answers --version with the project's version, and a
# GENE run on the example data is turned into a report.
#   install.sh BUILD_DIR VERSION
set -u
build=$1 version=$2
examples=$(cd "$(dirname "$0")/../../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAILED: $*"; status=1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; exit 1; }
mkdir "$work/run" && cp "$examples"/*.dat "$work/run/" && cd "$work/run" || exit 1
export PATH="$work/prefix/bin:/usr/bin:/bin"

# halvorix keeps its historical exit status 1 for --version; the companions answer with 0.
[ "$(halvorix --version)" = "Halvorix (version $version)" ] || fail "halvorix --version"
[ "$(halvorix-prep --version)" = "halvorix-prep (version $version)" ] || fail "halvorix-prep --version"
[ "$(halvorix-report --version)" = "halvorix-report (version $version)" ] ||
  fail "halvorix-report --version"
[ "$(command -v halvorix-report)" = "$work/prefix/bin/halvorix-report" ] || fail "not on PATH"

halvorix --method GENE --nsim 20 --seed 3 >run.log 2>&1 || fail "halvorix run"
halvorix-report --method GENE --csv output.csv --log run.log --out report >/dev/null ||
  fail "halvorix-report run"
for f in report.html genes.tsv qq.png qq.svg top_genes.png top_genes.svg; do
  [ -s "report/$f" ] || fail "report/$f missing"
done
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
