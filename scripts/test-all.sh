#!/usr/bin/env bash
# Runs every test: the native build with AddressSanitizer and
# UndefinedBehaviorSanitizer, the race tests again with ThreadSanitizer, a
# short run of each fuzz target, then the 32-bit and 64-bit Windows builds
# under Wine, their window tests included: the 32-bit one in a full-system
# emulator where the kernel runs no 32-bit programs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/wine-loader.sh
start=$SECONDS

# Both Windows builds first, so that the 32-bit tests can start.
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# The 32-bit build, the one to ship. In the emulator (with 12 kills in the
# kill test instead of 200) it takes longer than all the rest, so it runs
# meanwhile, with its own Wine prefix and display; its report follows at the
# end. Directly it runs here, before the rest.
win32_log=build/win32-tests.log
win32_status=0
if scenreg_can_run win32; then
  bash scripts/wine-tests.sh win32 || win32_status=1
else
  SCENREG_KILLS=${SCENREG_KILLS:-12} scenreg_where_32bit_runs bash scripts/wine-tests.sh win32 \
    >"$win32_log" 2>&1 &
  win32_job=$!
  echo "The 32-bit tests run in the emulator meanwhile; their report: $win32_log"
fi

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

bash scripts/wine-tests.sh win64 || status=1

if [ -n "${win32_job:-}" ]; then
  wait "$win32_job" || win32_status=1
  echo "== The 32-bit tests, in the emulator"
  cat "$win32_log"
fi
[ "$win32_status" -eq 0 ] || status=1
echo "All tests took $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s."
exit $status
