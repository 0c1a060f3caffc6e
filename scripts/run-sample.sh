#!/usr/bin/env bash
# Runs scenreg.exe (the 32-bit build, the one to ship) on a fresh copy of the
# bundled sample simulator folder, then shows what it did to scenery.cfg.
# The sample in sample/simulator stays untouched.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target scenreg

run_dir="$root/scratch/sample-run"
rm -rf "$run_dir"
mkdir -p "$run_dir"
cp sample/simulator/* "$run_dir/"

source scripts/wine-session.sh
echo "Running scenreg.exe in $run_dir"
set +e
(cd "$run_dir" && wine "$root/build/win32/scenreg.exe")
status=$?
set -e
echo "scenreg.exe ended with status $status (low 8 bits, as Wine reports it)"

if cmp -s sample/simulator/scenery.cfg "$run_dir/scenery.cfg"; then
  echo "scenery.cfg is unchanged."
else
  echo "Appended to scenery.cfg:"
  tail -c +"$(($(stat -c %s sample/simulator/scenery.cfg) + 1))" "$run_dir/scenery.cfg" | cat -A
fi
