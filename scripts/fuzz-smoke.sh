#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time from its seed
# corpus in fuzz/corpus/<target>; fails on any finding, whose input lands
# in build/fuzz/findings/. Usage: bash scripts/fuzz-smoke.sh [SECONDS_EACH]
# A long run of one target: see fuzz/README.md.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
command -v clang++ >/dev/null || { echo "clang++ is missing" >&2; exit 1; }

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSCENREG_SANITIZE=ON -DSCENREG_FUZZ=ON -DSCENREG_TESTS=OFF >/dev/null
targets=()
for seeds in fuzz/corpus/*/; do targets+=("$(basename "$seeds")_fuzzer"); done
cmake --build build/fuzz --target "${targets[@]}"

mkdir -p build/fuzz/findings
status=0
for target in "${targets[@]}"; do
  seeds="$PWD/fuzz/corpus/${target%_fuzzer}"
  # New inputs go to a scratch folder; the seeds in the repository stay.
  # Absolute paths: the targets work in folders of their own.
  work="$PWD/build/fuzz/corpus-work/${target%_fuzzer}"
  mkdir -p "$work"
  echo "== $target, $seconds s"
  if ! "build/fuzz/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$PWD/build/fuzz/findings/$target-" "$work" "$seeds" 2>build/fuzz/$target.log; then
    echo "$target found a fault; see build/fuzz/$target.log and build/fuzz/findings/" >&2
    tail -30 "build/fuzz/$target.log" >&2
    status=1
  fi
  grep -E "^stat::number_of_executed_units" "build/fuzz/$target.log" || true
done
exit $status
