#!/usr/bin/env bash
# Runs one worked case of the shared reference results (inputs, command line, console and
# files of an independent implementation of the same rules) and compares everything byte for
# byte. Only the duration on "Time (clock)" lines and the hosts of web links are masked: the
# hosts are each implementation's own choice.
#   reference.sh BIN REFERENCE_DIR CASE
set -u
bin=$1 ref=$2 case_name=$3
case_dir="$ref/cases/$case_name"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$ref/inputs/." "$work/"
chmod -R u+w "$work"
eval "args=($(cat "$case_dir/args"))"
(cd "$work" && "$bin" "${args[@]}" >"$work/stdout.got" 2>"$work/stderr.got" </dev/null)
echo $? >"$work/rc.got"
mask() { sed -E -e 's/^(Time \(clock\)[^:]*: ).*/\1<elapsed>/' -e 's#HREF="https?://[^/"]*#HREF="HOST#g' "$1"; }
status=0
for f in stdout stderr rc; do
  if ! diff <(mask "$case_dir/$f") <(mask "$work/$f.got") >"$work/diff"; then
    status=1; echo "--- $case_name: $f differs"; head -30 "$work/diff"
  fi
done
for f in $(cd "$case_dir" && ls | grep -v -E '^(args|stdout|stderr|rc)$'); do
  if [ ! -f "$work/$f" ]; then status=1; echo "--- $case_name: $f not written"; continue; fi
  if ! diff <(mask "$case_dir/$f") <(mask "$work/$f") >"$work/diff"; then
    status=1; echo "--- $case_name: $f differs"; head -30 "$work/diff"
  fi
done
[ $status -eq 0 ] && echo "$case_name: matches the reference"
exit $status
