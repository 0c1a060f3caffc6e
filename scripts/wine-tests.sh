#!/usr/bin/env bash
# Runs one Windows build's tests (win32 or win64) under Wine on a virtual
# display, after a build by the same preset. test-all.sh starts it for each
# build, for the 32-bit one in the emulator where the kernel runs no 32-bit
# programs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-session.sh
# The first program of a new prefix can take minutes in the emulator, past a
# test's time limit: one program that does nothing takes that first.
start=$SECONDS
timeout 900 "$(scenreg_wine_loader "$1")" "build/$1/tests/text_field_test.exe" --gtest_list_tests >/dev/null 2>&1 ||
  true
echo "Wine's first start took $((SECONDS - start)) s."
start=$SECONDS
status=0
ctest --preset "$1" || status=$?
echo "The $1 tests took $((SECONDS - start)) s."
exit $status
