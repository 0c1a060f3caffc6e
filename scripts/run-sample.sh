#!/usr/bin/env bash
# Runs scenreg.exe (the 32-bit build, the one to ship) in a fresh copy of the
# bundled sample simulator folder, then shows what it changed in scenery.cfg
# and how it ended. The sample in sample/simulator stays untouched.
#
# With a display (DISPLAY set) you answer the program's boxes yourself.
# Without one, or in the emulator that runs it where the kernel runs no
# 32-bit programs, it runs on a virtual display, and the boxes are answered
# as a user would ("Continue"), each photographed first.
#
# Exits non-zero when the program could not be run or ended with a status
# other than 0.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh
source scripts/wine-loader.sh

# The 32-bit build, the one to ship; where the kernel runs no 32-bit
# programs, in the emulator, on its own virtual display.
preset=win32
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target scenreg scenreg_sample_run >/dev/null

run_dir="$root/scratch/sample-run"
rm -rf "$run_dir" "$root/build/$preset/e2e/screenshots"/sample-run-*
mkdir -p "$run_dir"
cp sample/simulator/* "$run_dir/"

answer=answer
[ -z "${DISPLAY:-}" ] || ! scenreg_can_run win32 || answer=user
echo "Running build/$preset/scenreg.exe in $run_dir"
set +e
scenreg_where_32bit_runs bash scripts/sample-run.sh "$preset" "$root/build/$preset/scenreg.exe" \
  "$run_dir" "$answer"
status=$?
set -e
for shot in "$root/build/$preset/e2e/screenshots"/sample-run-*.png; do
  [ -e "$shot" ] && cp "$shot" "$root/scratch/" && echo "Screenshot: scratch/$(basename "$shot")"
done

if cmp -s sample/simulator/scenery.cfg "$run_dir/scenery.cfg"; then
  echo "scenery.cfg is unchanged."
else
  echo "What changed in scenery.cfg:"
  diff -u --label "sample/simulator/scenery.cfg" --label "scratch/sample-run/scenery.cfg" \
    sample/simulator/scenery.cfg "$run_dir/scenery.cfg" || true
fi
exit $status
