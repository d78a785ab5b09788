#!/usr/bin/env bash
# The demo: sets up, builds, generates the demo study, runs its session in
# the stand-in host TessarayNK with the built plug-in, and checks the design
# matrices as a researcher would. Everything it writes is under demo-output/.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
bash scripts/setup.sh
build_dir=${PPI_BUILD_DIR:-build}
# Only what the demo needs: the library, the stand-in host (with its script
# engine), the GUI script beside the library and the demo tool. The tests,
# benchmarks and the method tool are built by scripts/test.sh.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${PPI_BUILD_TYPE:-RelWithDebInfo} \
  -DPPI_WERROR=${PPI_WERROR:-ON} >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target ppiplugin standin_app ppi_gui_files ppidemo
host="$PWD/$build_dir/standin/app/TessarayNK"
plugin="$PWD/$build_dir/libppiplugin.so"
demo="$PWD/$build_dir/demo/ppidemo"

out=demo-output
rm -rf "$out"
mkdir -p "$out"
"$demo" generate "$out/study"

echo
echo "== The session $out/study/demo.session in the stand-in host (full log: $out/session.log)"
set +e
(cd "$out/study" && "$host" --plugin "$plugin" demo.session) > "$out/session.log" 2>&1
session_status=$?
set -e
# The summary: the dialog's status and problems, the subjects and the design files.
grep -E '^\[gui\]   (Status|Problems)|^\[gui\]     - (error|warning|note):|^\[session\] [0-9]' \
  "$out/session.log" | tail -n 12 || true
echo "Subjects: $(grep -c . "$out/study/study.ppi" || true) in $out/study/study.ppi"
echo "Design matrices:"
sed 's/^/  /' "$out/study/results/sdm-files.txt" 2>/dev/null || echo "  (none)"

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
