#!/usr/bin/env bash
# Outputs that are streams, and runs that end before their output is complete:
#  - /dev/stdout redirected with >> gets the result added to it (nothing wiped), and a pipe
#    takes a result, for halvorix-prep and halvorix alike;
#  - SIGTERM, SIGINT and SIGHUP during a run leave no temporary file and end it by the signal;
#  - a write past `ulimit -f` fails as a write (prep and halvorix): message, status 1, nothing left;
#  - a result that cannot be made warns of an older file of its name; another user's link in a
#    sticky shared folder is refused (root only: it needs a link given to another user).
#   output_streams.sh PREP_BIN HALVORIX_BIN
set -u
prep=$1 halvorix=$2
data="$(cd "$(dirname "$0")/../data" && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
cp "$data/tiny/score.dat" "$data/prep/kegg/links.txt" .
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

echo "earlier line" >all.txt
"$prep" kegg --links links.txt --out /dev/stdout >>all.txt || fail "prep kegg into >>"
"$halvorix" --method SNP --nsim 10 --seed 1 --csv_output /dev/stdout >>all.txt ||
  fail "halvorix csv into >>"
[ "$(head -1 all.txt)" = "earlier line" ] || fail "/dev/stdout wiped the file it was appended to"
grep -q '^hsa:' all.txt || fail "prep's links missing from all.txt"
grep -q 'seed = 1' all.txt && grep -q '^ *rs1,' all.txt || fail "halvorix's results missing"
[ "$(find . -name '*.tmp.*' | wc -l)" -eq 0 ] || fail "temporary file beside a stream output"

[ "$("$prep" kegg --links links.txt --out /dev/stdout | grep -c '^hsa:')" -gt 0 ] ||
  fail "prep kegg into a pipe"
[ "$("$halvorix" --method SNP --nsim 10 --seed 1 --csv_output /dev/stdout | grep -c '^ *rs')" \
  -gt 0 ] || fail "halvorix csv into a pipe"

# The run is held mid-output by an input that is still coming: a FIFO fed in two parts.
set -m  # background jobs keep SIGINT (a script's would ignore it)
for signal in TERM INT HUP; do
  rm -f feed && mkfifo feed
  { head -3 links.txt; sleep 3; } >feed &
  feeder=$!
  "$prep" kegg --links feed --out kegg.dat >/dev/null 2>&1 &
  run=$!
  for _ in $(seq 50); do
    compgen -G 'kegg.dat.tmp.*' >/dev/null && break
    sleep 0.1
  done
  compgen -G 'kegg.dat.tmp.*' >/dev/null || fail "SIG$signal: no temporary file to begin with"
  kill -s "$signal" "$run"
  wait "$run"
  status=$?
  kill "$feeder" 2>/dev/null
  wait "$feeder" 2>/dev/null
  [ "$status" -eq $((128 + $(kill -l "$signal"))) ] || fail "SIG$signal: status $status"
  leftover=$(compgen -G 'kegg.dat*')
  [ -z "$leftover" ] || fail "SIG$signal left $leftover"
done
set +m

awk 'BEGIN { for (i = 0; i < 200; i++) { printf "rs%d", i; for (j = 0; j < 500; j++)
       printf " %d.25", (i + j) % 7; printf "\n" } }' >big.txt
message=$( (ulimit -f 64 && "$prep" pack --score big.txt --out big.bin) 2>&1 >/dev/null)
status=$?
[ "$status" -eq 1 ] || fail "write past ulimit -f: status $status"
case $message in
*"error: cannot write big.bin.tmp."*"File too large"*) ;;
*) fail "write past ulimit -f: message '$message'" ;;
esac
leftover=$(compgen -G 'big.bin*')
[ -z "$leftover" ] || fail "write past ulimit -f left $leftover"
# halvorix's result likewise: 4 KiB hold the start of the SNP table only.
message=$( (ulimit -f 4 && "$halvorix" --method SNP --score big.txt --nsim 5 --seed 1 \
  --csv_output big.csv) 2>&1 >/dev/null)
status=$?
[ "$status" -eq 1 ] || fail "result past ulimit -f: status $status"
[ "$message" = "error: could not write all of big.csv" ] ||
  fail "result past ulimit -f: message '$message'"
leftover=$(compgen -G 'big.csv*')
[ -z "$leftover" ] || fail "result past ulimit -f left $leftover"

# A result that cannot be made (its temporary name is too long, which stops root as well) is
# skipped as always, and the older file of that name is called what it is.
old_csv=$(printf 'r%.0s' $(seq 250)).csv
echo "last week" >"$old_csv"
said=$("$halvorix" --method SNP --nsim 10 --seed 1 --csv_output "$old_csv")
[ $? -eq 0 ] || fail "unwritable result: the run did not finish"
[[ $said == *"Cannot open ${old_csv}for csv output."$'\n'"warning: $old_csv is left from an earlier run: it is not this run's csv output"* ]] ||
  fail "unwritable result: no warning of the older file"
[ "$(cat "$old_csv")" = "last week" ] || fail "unwritable result: the older file changed"

# Another user's link in a sticky shared folder (as root, a link can be given away).
if [ "$(id -u)" -eq 0 ]; then
  mkdir shared && chmod 1777 shared && ln -s ../score.dat shared/out.csv &&
    chown -h 4242 shared/out.csv || fail "could not plant a link"
  said=$("$halvorix" --method SNP --nsim 10 --seed 1 --csv_output shared/out.csv)
  [ $? -eq 1 ] && [ "$said" = "error: --csv_output shared/out.csv: the symbolic link shared/out.csv belongs to another user in the shared sticky folder shared/ and is not followed" ] ||
    fail "planted link: '$said'"
  said=$("$prep" kegg --links links.txt --out shared/out.csv 2>&1)
  [ $? -eq 1 ] && [[ $said == "error: kegg: --out shared/out.csv: the symbolic link"* ]] ||
    fail "planted link, prep: '$said'"
fi

[ $failures -eq 0 ] && echo "streams, signals and the file size limit: all as expected"
exit $failures
