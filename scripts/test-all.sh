#!/usr/bin/env bash
# Runs every test: the native build with AddressSanitizer and
# UndefinedBehaviorSanitizer, the race tests again with ThreadSanitizer, a
# short run of each fuzz target, then the 32-bit and 64-bit Windows builds
# under Wine, their window tests included. Both Windows builds are always
# built; a build that this machine cannot run (the 32-bit one on a kernel
# without 32-bit emulation) is checked without running it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

status=0
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native || status=1

# The same tests under valgrind's memcheck (about a minute and a half).
bash scripts/valgrind-tests.sh || status=1

# The close-while-running races once more, under ThreadSanitizer.
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan
ctest --preset native-tsan || status=1

# Each fuzz target for a short, bounded time from its seeds.
bash scripts/fuzz-smoke.sh "${SCENREG_FUZZ_SECONDS:-30}" || status=1

source scripts/wine-session.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if scenreg_can_run "$preset"; then
    ctest --preset "$preset" || status=1
  else
    echo "The $preset tests were not run: $SCENREG_WINE_NO_32BIT." \
      "Only its program image is checked."
    ctest --preset "$preset" -L image || status=1
  fi
done
exit $status
