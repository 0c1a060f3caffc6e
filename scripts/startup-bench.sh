#!/usr/bin/env bash
# Start-up benchmark under Wine: the whole-process time of scenreg.exe on its
# silent registration path (a two-line scconf.txt, a library of 120 areas),
# next to a minimal program that creates one window and ends, median of
# several runs in the same session; then each program's size and imports.
# Figures, not a test. Usage: bash scripts/startup-bench.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-15}
bash scripts/install-deps.sh
source scripts/wine-session.sh

library="$root/tests/data/fs9-default-120-areas.cfg"
for preset in win32 win64; do
  if ! scenreg_can_run "$preset"; then
    echo "$preset: not measured: $SCENREG_WINE_NO_32BIT."
    continue
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target scenreg minimal_window startup_bench >/dev/null
  build="$root/build/$preset"
  folder="$root/scratch/startup-bench-$preset"
  rm -rf "$folder" && mkdir -p "$folder"
  printf 'Sample Field\r\nAddon Scenery\\Sample\r\n' >"$folder/scconf.txt"
  cp "$library" "$folder/scenery.orig"
  echo "== $preset"
  # A first run of each warms Wine's caches for both.
  scenreg_wine "$build/bench/startup_bench.exe" "Z:$build/scenreg.exe" \
    "Z:$build/bench/minimal_window.exe" "Z:$folder" 1 >/dev/null
  scenreg_wine "$build/bench/startup_bench.exe" "Z:$build/scenreg.exe" \
    "Z:$build/bench/minimal_window.exe" "Z:$folder" "$runs"
  for program in "$build/scenreg.exe" "$build/bench/minimal_window.exe"; do
    objdump=$([ "$preset" = win32 ] && echo i686-w64-mingw32-objdump || echo x86_64-w64-mingw32-objdump)
    imports=$("$objdump" -p "$program" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')
    printf '  %-20s %8d bytes, imports %s\n' "$(basename "$program")" "$(stat -c %s "$program")" "$imports"
  done
done
