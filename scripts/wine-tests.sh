#!/usr/bin/env bash
# Runs one Windows build's tests (win32 or win64) under Wine on a virtual
# display, after a build by the same preset. test-all.sh starts it for each
# build, for the 32-bit one in the emulator where the kernel runs no 32-bit
# programs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-session.sh
start=$SECONDS
status=0
ctest --preset "$1" || status=$?
echo "The $1 tests took $((SECONDS - start)) s."
exit $status
