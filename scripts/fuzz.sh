#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into
# ${PPI_FUZZ_BUILD_DIR:-build-fuzz} and runs each in turn for the given number
# of seconds (default 30). Fails at the first finding, whose input is kept in
# <build dir>/findings/<target>/. Inputs that reach new code are kept in
# <build dir>/corpus/<target>/ and taken up again by the next run; the seeds in
# fuzz/corpus/<target>/ are read, never written. More arguments go to every
# target (e.g. -runs=10000000).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
bash scripts/setup.sh --fuzz
build_dir=${PPI_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPPI_FUZZ=ON -DPPI_WERROR=${PPI_WERROR:-ON} -DPPI_BUILD_TESTS=OFF \
  -DPPI_BUILD_BENCHMARKS=OFF -DPPI_BUILD_STANDIN=OFF >/dev/null
targets=(listfile listparts sdmtext mocosdm mocomerge runmanifest)
cmake --build "$build_dir" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

for target in "${targets[@]}"; do
  corpus="$build_dir/corpus/$target"
  findings="$build_dir/findings/$target"
  mkdir -p "$corpus" "$findings"
  echo "fuzz: $target for ${seconds} s"
  "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$findings/" "$@" "$corpus" "fuzz/corpus/$target"
done
echo "fuzz: no findings"
