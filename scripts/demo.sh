#!/usr/bin/env bash
# The demo: sets up, builds, generates the demo study, runs its session in
# the stand-in host TessarayNK with the built plug-in, and checks the design
# matrices as a researcher would. Everything it writes is under demo-output/.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
bash scripts/setup.sh
bash scripts/build.sh
build_dir=${PPI_BUILD_DIR:-build}
host="$PWD/$build_dir/standin/app/TessarayNK"
plugin="$PWD/$build_dir/libppiplugin.so"
demo="$PWD/$build_dir/demo/ppidemo"

out=demo-output
rm -rf "$out"
mkdir -p "$out"
"$demo" generate "$out/study"

echo
echo "== The session $out/study/demo.session in the stand-in host (log: $out/session.log)"
set +e
(cd "$out/study" && "$host" --plugin "$plugin" demo.session) | tee "$out/session.log"
session_status=${PIPESTATUS[0]}
set -e

finish() {
  echo
  echo "QC report of the run: $out/study/results/PPI_report.html (open it in a browser)"
  echo "Demo finished in $((SECONDS - started)) s; output in $out/"
}

if [[ $session_status -ne 0 ]]; then
  echo "The session did not go as expected (status $session_status); see $out/session.log" >&2
  exit 1
fi

echo
echo "== Check: each saved design matrix fitted to the Target and Null regions"
set +e
"$demo" check "$out/study" | tee "$out/table.txt"
check_status=${PIPESTATUS[0]}
set -e
finish
exit "$check_status"
