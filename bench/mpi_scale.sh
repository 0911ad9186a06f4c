#!/usr/bin/env bash
# One run as 1 and as 2 MPI processes (the MPI build, preset `mpi`): wall time of the whole run
# and whether the result is the same file. Each process runs one thread (HALVORIX_THREADS=1,
# no core binding), so the ratio is what adding a process adds on a cluster; the plain program
# with its default threads is timed beside them. Runs are interleaved, best of three, so that
# all see the same load of a shared machine: compare ratios within one run (REPEATS=1: one
# round only).
#
#   bash bench/mpi_scale.sh snp      10,000 SNPs x 1,000 subjects, nsim 1000 (text scores;
#                                    FORMAT=binary: the same scores packed)
#   bash bench/mpi_scale.sh study    SNPS x SUBJECTS (100000 x 5000) binary scores, nsim NSIM (100)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-snp}
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null
cmake --preset mpi >/dev/null
cmake --build build/mpi -j2 --target halvorix halvorix-prep halvorix_make_plink >/dev/null
bin=$root/build/mpi

if [ "$which" = snp ]; then
  snps=10000 subjects=1000 nsim=${NSIM:-1000}
  data=$root/build/bench-data/vs_plink_${snps}x${subjects}
  score=$data/score.dat
  if [ ! -f "$score" ]; then
    mkdir -p "$data"
    "$bin/halvorix_make_plink" --random "$data/study" --snps "$snps" --subjects "$subjects" >/dev/null
    "$bin/halvorix-prep" scores --bfile "$data/study" --out "$score" >/dev/null
  fi
  if [ "${FORMAT:-text}" = binary ]; then
    [ -f "$data/score.bin" ] || "$bin/halvorix-prep" pack --score "$score" --out "$data/score.bin" >/dev/null
    score=$data/score.bin
  fi
else
  snps=${SNPS:-100000} subjects=${SUBJECTS:-5000} nsim=${NSIM:-100}
  data=${WORK:-$root/build/bench-study}/${snps}x${subjects}
  score=$data/score.bin
  mkdir -p "$data"
  if [ ! -f "$data/dummy.bed" ]; then
    (cd "$data" && plink1.9 --dummy "$subjects" "$snps" --make-bed --out dummy >/dev/null)
  fi
  if [ ! -f "$score" ]; then
    "$bin/halvorix-prep" scores --bfile "$data/dummy" --format binary --out "$score" >/dev/null
  fi
fi

declare -A best sim cpu rcpu digest
# label, command...: the best wall time of the label's runs, with that run's simulation time
# (process 0's "Time (clock) for simulations", which includes waiting for the other processes),
# the CPU time of all processes and the largest CPU time of one process (what a process costs
# when it has a core to itself, as on a cluster); the digest of output.csv.
time_run() {
  local label=$1; shift
  local dir; dir=$(mktemp -d)
  (cd "$dir" && /usr/bin/time -f "%e %U %S" -o time.txt "$@" >stdout.txt 2>&1)
  local s u k; read -r s u k <"$dir/time.txt"
  local rank_cpu=-
  if [ -f "$dir/ranks.txt" ]; then
    rank_cpu=$(awk -F_ '{ c = $1 + $2; if (c > m) m = c } END { printf "%.2f", m }' "$dir/ranks.txt")
  fi
  if [ -z "${best[$label]:-}" ] || awk "BEGIN{exit !($s < ${best[$label]})}"; then
    best[$label]=$s
    cpu[$label]=$(echo "$u + $k" | bc)
    rcpu[$label]=$rank_cpu
    # "0(d): 0(h): 1(m): 2(s): 345(millisec)" in seconds
    sim[$label]=$(sed -n 's/^Time (clock) for simulations: //p' "$dir/stdout.txt" |
      tr -c '0-9\n' ' ' | awk '{ print $1 * 86400 + $2 * 3600 + $3 * 60 + $4 + $5 / 1000 }')
  fi
  digest[$label]=$(md5sum <"$dir/output.csv" | cut -c1-12)
  rm -rf "$dir"
}
args=(--method SNP --score "$score" --nsim "$nsim" --seed 1)
rank_time="/usr/bin/time -a -o ranks.txt -f %U_%S"
labels=("plain, default threads" "1 process, 1 thread" "2 processes, 1 thread each")
for _ in $(seq "${REPEATS:-3}"); do
  time_run "${labels[0]}" "$bin/halvorix" "${args[@]}"
  time_run "${labels[1]}" env HALVORIX_THREADS=1 mpirun -q --bind-to none -n 1 $rank_time "$bin/halvorix" "${args[@]}"
  time_run "${labels[2]}" env HALVORIX_THREADS=1 mpirun -q --bind-to none -n 2 $rank_time "$bin/halvorix" "${args[@]}"
done
echo "$snps SNPs x $subjects subjects, nsim $nsim, $(basename "$score") ($(nproc) CPUs)"
for label in "${labels[@]}"; do
  printf '  %-28s wall %6.2f s  simulations %3.0f s  CPU %6.2f s, one process at most %6s s  %s\n' \
    "$label" "${best[$label]}" "${sim[$label]}" "${cpu[$label]}" "${rcpu[$label]}" "${digest[$label]}"
done
awk -v a="${best[${labels[1]}]}" -v b="${best[${labels[2]}]}" -v c="${sim[${labels[1]}]}" \
  -v d="${sim[${labels[2]}]}" \
  'BEGIN { printf "  2 processes over 1: whole run %.2fx, simulations %.2fx faster\n", a / b, c / d }'
