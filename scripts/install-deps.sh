#!/usr/bin/env bash
# Installs the build and test dependencies that are missing (Debian packages), nothing else.
set -euo pipefail
# python3-matplotlib: halvorix-report's figures; chromium: the test that opens the report page;
# libhts-dev (found through pkg-config): VCF and BCF input of halvorix-prep;
# clang and libclang-rt-14-dev (libFuzzer): the fuzz preset; libopenmpi-dev and openmpi-bin: the
# mpi preset (HALVORIX_MPI); clang-format: the layout check of scripts/test.sh; clang-tidy-14:
# its lint gate (scripts/tidy.sh; the version the profile was fitted to).
packages=(cmake g++ make libboost-graph-dev googletest libgtest-dev libbenchmark-dev zlib1g-dev
          python3-matplotlib chromium pkg-config libhts-dev clang libclang-rt-14-dev
          libopenmpi-dev openmpi-bin clang-format clang-tidy-14)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
