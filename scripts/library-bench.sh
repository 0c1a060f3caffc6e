#!/usr/bin/env bash
# Library benchmark under Wine: scenreg.exe on a large generated library whose
# last line is the add-on's title line (it reads every byte and ends without a
# word), against a program that reads the same file in 8192-byte ReadFile
# calls; both net of their start-up, measured on the 120-area library. Figures,
# not a test. Usage: bash scripts/library-bench.sh [SIZE_MIB] [RUNS] [DIR]
# DIR (default /tmp/scenreg-library-bench) keeps the generated library for the
# next run; the native scan benchmark generates it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
size_mib=${1:-1024}
runs=${2:-5}
dir=${3:-/tmp/scenreg-library-bench}
bash scripts/install-deps.sh
source scripts/wine-session.sh

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target scan_bench >/dev/null
"$root/build/native-release/bench/scan_bench" --size-mib "$size_mib" --line-mb 0 --repeat 1 \
  --dir "$dir" --keep | sed -n '/scan /p'
title_line='Title=Sample Field'
for folder in large small; do
  mkdir -p "$dir/$folder"
  printf 'Sample Field\r\nAddon Scenery\\Sample\r\n' >"$dir/$folder/scconf.txt"
done
if [ ! -f "$dir/large/scenery.cfg" ]; then
  cp "$dir/library/scenery.cfg" "$dir/large/scenery.cfg"
  printf '%s\r\n' "$title_line" >>"$dir/large/scenery.cfg"
fi
{ cat "$root/tests/data/fs9-default-120-areas.cfg"; printf '%s\r\n' "$title_line"; } \
  >"$dir/small/scenery.cfg"

for preset in win64 win32; do
  if ! scenreg_can_run "$preset"; then
    echo "$preset: not measured: $SCENREG_WINE_NO_32BIT."
    continue
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target scenreg read_in_blocks library_bench >/dev/null
  build="$root/build/$preset"
  echo "== $preset"
  # A first run warms Wine's caches and the page cache.
  scenreg_wine "$build/bench/library_bench.exe" "Z:$build/scenreg.exe" \
    "Z:$build/bench/read_in_blocks.exe" "Z:$dir/large" "Z:$dir/small" 1 >/dev/null
  scenreg_wine "$build/bench/library_bench.exe" "Z:$build/scenreg.exe" \
    "Z:$build/bench/read_in_blocks.exe" "Z:$dir/large" "Z:$dir/small" "$runs"
done
