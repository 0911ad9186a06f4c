#!/usr/bin/env bash
# Builds Halvorix and runs the default analysis (GO gene sets) on the bundled example data.
# Extra arguments go to the program, e.g. `bash scripts/demo.sh --method GENE`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target halvorix
run_dir=build/demo
rm -rf "$run_dir" && mkdir -p "$run_dir" && cp examples/*.dat "$run_dir/"
(cd "$run_dir" && ../release/halvorix --seed 1 "$@")
echo
echo "Results: $run_dir/output.html and $run_dir/output.csv"
