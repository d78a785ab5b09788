#!/usr/bin/env bash
# Configures and builds the project into ${PPI_BUILD_DIR:-build}.
# PPI_SANITIZE=ON builds with the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${PPI_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${PPI_BUILD_TYPE:-RelWithDebInfo} \
  -DPPI_WERROR=${PPI_WERROR:-ON} -DPPI_SANITIZE=${PPI_SANITIZE:-OFF} >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
