#!/usr/bin/env bash
# Runs one end-to-end case in a fresh temporary folder and compares standard output, standard
# error, exit status and every file the run writes with tests/e2e/expected/<case>/, byte for
# byte. Only the duration on "Time (clock)" lines is masked.
#   golden.sh BIN CASE            compare; on a mismatch leave <file>.new beside the expected file
#   golden.sh BIN CASE --update   (re)write the expected files of CASE
# With HALVORIX_PREP set to halvorix-prep, every score*.dat of the case's data is first packed
# into a binary score file of the same name (a file pack rejects stays text): the binary route
# must give the same bytes on every channel.
# HALVORIX_CASES names another list of cases beside cases.tsv (prep_cases.tsv: halvorix-prep).
set -u
bin=$1 case_name=$2 mode=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
tests_dir=$(dirname "$here")
list=${HALVORIX_CASES:-cases.tsv}
line=$(awk -F'\t' -v c="$case_name" '$1 == c' "$here/$list")
[ -n "$line" ] || { echo "no case $case_name in $list" >&2; exit 2; }
data=$(printf '%s' "$line" | cut -f2)
argstr=$(printf '%s' "$line" | cut -f3-)
expected="$here/expected/$case_name"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run_dir="$work/run"
mkdir -p "$run_dir" "$work/out"
if [ "$data" != "-" ]; then cp -R "$tests_dir/$data/." "$run_dir/"; fi
if [ -n "${HALVORIX_PREP:-}" ]; then
  for f in "$run_dir"/score*.dat; do
    [ -f "$f" ] || continue
    "$HALVORIX_PREP" pack --score "$f" --out "$f.bin" >/dev/null 2>&1 && mv "$f.bin" "$f"
  done
fi
# What the run starts from, to tell the files it writes or changes.
cp -R "$run_dir" "$work/start"
before=$(cd "$run_dir" && find . -type f | sort)

eval "args=($argstr)"
(cd "$run_dir" && "$bin" "${args[@]}" >"$work/out/stdout" 2>"$work/out/stderr" </dev/null)
echo $? >"$work/out/rc"
sed -i -E 's/^(Time \(clock\)[^:]*: ).*/\1<elapsed>/' "$work/out/stdout"
# Files the run wrote (new or changed) are part of its output.
while IFS= read -r f; do
  f=${f#./}
  if ! printf '%s\n' "$before" | grep -qxF "./$f" || ! cmp -s "$run_dir/$f" "$work/start/$f"; then
    cp "$run_dir/$f" "$work/out/$f"
  fi
done < <(cd "$run_dir" && find . -type f | sort)

if [ "$mode" = "--update" ]; then
  rm -rf "$expected" && mkdir -p "$expected" && cp "$work/out/." "$expected/" -R
  echo "updated $case_name"
  exit 0
fi

status=0
for f in $( (cd "$work/out" && ls; [ -d "$expected" ] && cd "$expected" && ls) | grep -v '\.new$' | sort -u); do
  if ! cmp -s "$work/out/$f" "$expected/$f" 2>/dev/null; then
    status=1
    echo "--- $case_name: $f differs (expected vs got)"
    if [ -f "$work/out/$f" ]; then cp "$work/out/$f" "$expected/$f.new" 2>/dev/null; fi
    diff "$expected/$f" "$work/out/$f" 2>&1 | head -40
  fi
done
[ $status -eq 0 ] && echo "$case_name: stdout, stderr, rc and files match"
exit $status
