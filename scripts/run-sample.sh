#!/usr/bin/env bash
# Runs scenreg.exe (the 32-bit build, the one to ship, where this machine
# runs 32-bit programs; else the 64-bit build) on a fresh copy of the bundled
# sample simulator folder, then shows what it did to scenery.cfg. The sample
# in sample/simulator stays untouched. Exits non-zero when the program could
# not be run or ended with a status other than 0.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh
source scripts/wine-loader.sh

preset=win32
if ! scenreg_can_run win32; then
  preset=win64
  echo "Running the 64-bit build: $SCENREG_WINE_NO_32BIT."
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target scenreg

run_dir="$root/scratch/sample-run"
rm -rf "$run_dir"
mkdir -p "$run_dir"
cp sample/simulator/* "$run_dir/"

source scripts/wine-session.sh
echo "Running build/$preset/scenreg.exe in $run_dir"
set +e
(cd "$run_dir" && "$SCENREG_WINE" "$root/build/$preset/scenreg.exe")
status=$?
set -e
echo "scenreg.exe ended with status $status (low 8 bits, as Wine reports it)"

if cmp -s sample/simulator/scenery.cfg "$run_dir/scenery.cfg"; then
  echo "scenery.cfg is unchanged."
else
  echo "Appended to scenery.cfg:"
  tail -c +"$(($(stat -c %s sample/simulator/scenery.cfg) + 1))" "$run_dir/scenery.cfg" | cat -A
fi
exit $status
