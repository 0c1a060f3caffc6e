#!/usr/bin/env bash
# Line and branch coverage of the portable code by the native unit tests
# (gcc --coverage, gcovr). Prints the summary per file and in total; an HTML
# report lands in build/coverage/report.html.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v gcovr >/dev/null || { echo "gcovr is missing: apt-get install gcovr" >&2; exit 1; }
# SCENREG_COVERAGE: the runs end with _Exit, in forked children and death
# tests too, and their counts are written just before it; without that every
# run that ends its process would count as not run.
cmake -S . -B build/coverage -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="--coverage -fno-inline -DSCENREG_COVERAGE" -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build build/coverage
find build/coverage -name '*.gcda' -delete
ctest --test-dir build/coverage --output-on-failure
# The portable code: everything but the platform front ends, which the tests
# under Wine cover, and the test, bench and fuzz trees.
# What stays uncovered cannot happen here:
# allocation failures, the division flaw, a system text that is empty, and
# the returns after a report that ends the process; nor in one thread: the
# waits of the close at the end of the process and a second orderly stop;
# nor on POSIX: a read that reports the end by an error number. The tests'
# own dialog platform (dialogs/posix) keeps checks for damaged resources
# that the program's resources never take.
gcovr --root . --object-directory build/coverage \
  --filter 'runtime/' --filter 'registration/' --filter 'dialogs/' \
  --exclude '.*/windows/.*' --exclude '.*/posix/program_shell\.cpp' \
  --exclude-unreachable-branches --exclude-throw-branches \
  --print-summary --html-details build/coverage/report.html \
  | tail -n 40
