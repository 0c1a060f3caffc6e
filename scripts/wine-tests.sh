#!/usr/bin/env bash
# Runs one Windows build's tests (win32 or win64) under Wine on a virtual
# display, after a build by the same preset. test-all.sh starts it for each
# build, for the 32-bit one in the emulator where the kernel runs no 32-bit
# programs.
set -euo pipefail
cd "$(dirname "$0")/.."
# A prefix of each build's own, so that both builds' tests can run at once.
export WINEPREFIX="${WINEPREFIX:-$PWD/build/$1/wineprefix}"
source scripts/wine-session.sh
# In the emulator the test command starts this while the build still runs,
# so that the machine's start and its new prefix take place meanwhile: the
# build's result comes in a file, "passed" or "failed".
if [ -n "${SCENREG_BUILD_RESULT:-}" ]; then
  start=$SECONDS
  until [ -e "$SCENREG_BUILD_RESULT" ] || [ $((SECONDS - start)) -ge 1800 ]; do sleep 1; done
  echo "Waited $((SECONDS - start)) s for the $1 build."
  if [ "$(cat "$SCENREG_BUILD_RESULT" 2>/dev/null)" != passed ]; then
    echo "not run: the $1 build failed"
    exit 1
  fi
fi
# The first program of a new prefix can take minutes in the emulator, past a
# test's time limit: one program that does nothing takes that first.
start=$SECONDS
timeout 900 "$(scenreg_wine_loader "$1")" "build/$1/tests/text_field_test.exe" --gtest_list_tests >/dev/null 2>&1 ||
  true
echo "Wine's first start took $((SECONDS - start)) s."

# What the real-fault cases need of the machine, found once, where their
# folders are: a case that needs what is lacking is not run, and says why.
# Where it is there, a helper that fails inside a case fails the case.
scratch=${SCENREG_E2E_SCRATCH:-$PWD/build/$1/e2e/scratch}
probe=$scratch/capability-probe
mkdir -p "$probe"
if ! { touch "$probe/file" && chattr +i "$probe/file" && chattr -i "$probe/file"; } 2>/dev/null; then
  export SCENREG_E2E_NO_IMMUTABLE="not run: the immutable flag (chattr +i) is refused in $scratch"
  echo "$SCENREG_E2E_NO_IMMUTABLE"
fi
if mount -t tmpfs -o size=64k scenreg-probe "$probe" 2>/dev/null; then
  umount "$probe"
else
  export SCENREG_E2E_NO_MOUNT="not run: a small file system (mount -t tmpfs) cannot be mounted in $scratch"
  echo "$SCENREG_E2E_NO_MOUNT"
fi
rm -rf "$probe"

start=$SECONDS
status=0
ctest --preset "$1" || status=$?
echo "The $1 tests took $((SECONDS - start)) s."
exit $status
