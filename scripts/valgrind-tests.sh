#!/usr/bin/env bash
# The native unit tests under valgrind's memcheck, in a build without the
# sanitizers (they do not mix). Fails on any memory error or leak.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/valgrind -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/valgrind -j2
# Death tests fork; their children end the way the tested program would.
ctest --test-dir build/valgrind --output-on-failure \
  --overwrite MemoryCheckCommand=/usr/bin/valgrind \
  --overwrite "MemoryCheckCommandOptions=--error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite --trace-children=no" \
  -T memcheck
