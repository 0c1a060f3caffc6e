#!/usr/bin/env bash
# Runs every test: the native build with AddressSanitizer and
# UndefinedBehaviorSanitizer, the race tests again with ThreadSanitizer, a
# short run of each fuzz target, then the 32-bit and 64-bit Windows builds
# under Wine, their window tests included: the 32-bit one in a full-system
# emulator where the kernel runs no 32-bit programs.
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

# Both Windows builds, each tested under Wine. The 32-bit build, the one to
# ship, runs in the emulator where this kernel runs no 32-bit programs (with
# 40 kills in the kill test instead of 200); it goes first, while no Wine of
# the host's is up.
source scripts/wine-loader.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
scenreg_where_32bit_runs bash scripts/wine-tests.sh win32 || status=1
bash scripts/wine-tests.sh win64 || status=1
exit $status
