#!/usr/bin/env bash
# Builds ppiplugin.dll and the Windows test programs into
# ${PPI_WINDOWS_BUILD_DIR:-build-windows} and runs the tests under wine (ctest).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --windows
build_dir=${PPI_WINDOWS_BUILD_DIR:-build-windows}
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=${PPI_BUILD_TYPE:-RelWithDebInfo} -DPPI_WERROR=${PPI_WERROR:-ON} \
  -DPPI_BUILD_TESTS=OFF -DPPI_BUILD_BENCHMARKS=OFF -DPPI_WINDOWS_TESTS=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)"

# The tests run in the build's own prefix (tests/windows/CMakeLists.txt). One
# persistent wine server serves them all. It and wine's helper processes write
# to a log file, never to ctest's pipes, which they would otherwise keep open.
WINEPREFIX=$(cmake -L -N "$build_dir" | sed -n 's/^PPI_WINE_PREFIX:PATH=//p')
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d"
mkdir -p "$WINEPREFIX"
wine_log="$build_dir/wine-start.log"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if ! { wineserver -p && timeout 300 wine wineboot -u; } >"$wine_log" 2>&1 </dev/null; then
  echo "test-windows: wine did not start; see $wine_log" >&2
  exit 1
fi
ctest --test-dir "$build_dir" --output-on-failure --timeout 120 -j "$(nproc)"
