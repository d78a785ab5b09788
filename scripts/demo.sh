#!/usr/bin/env bash
# The main job: sets up, builds, and runs the plug-in inside a host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
build_dir=${PPI_BUILD_DIR:-build}
"$build_dir/tests/binding/host_named_tessaraynk/TessarayNK" "$build_dir/libppiplugin.so" bind
