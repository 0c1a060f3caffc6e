#!/usr/bin/env bash
# Runs every test: the 32-bit Windows build's under Wine, its window tests
# included (in a full-system emulator where the kernel runs no 32-bit
# programs), meanwhile the native build with AddressSanitizer and
# UndefinedBehaviorSanitizer, the native tests under valgrind, the race tests
# again with ThreadSanitizer, a short run of each fuzz target, and the 64-bit
# Windows build's tests. Each part's output goes to a log of its own under
# build/test-logs; the end is a summary of the parts, whose last line is
#   test-all: N passed, M failed
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || { echo "test-all: installing what the tests need failed" >&2; exit 1; }
source scripts/wine-loader.sh
start=$SECONDS
logs=build/test-logs
rm -rf "$logs" && mkdir -p "$logs"

summary=()
passed=0
failed=0
win32_pid=""

# Runs one part, its output to its log; records the result and the time.
run_part() {
  local name=$1 began=$SECONDS result
  shift
  echo "== $name (log: $logs/$name.log)"
  if "$@" >"$logs/$name.log" 2>&1; then
    result=passed
    passed=$((passed + 1))
  else
    result=FAILED
    failed=$((failed + 1))
    tail -n 40 "$logs/$name.log"
  fi
  add_to_summary "$name" "$result" $((SECONDS - began))
  [ "$result" = passed ]
}

# One part's line in the summary, then the cases its log says were not run
# for a capability the machine lacks.
add_to_summary() {
  summary+=("$(printf '%-13s %-7s %5d s  %s' "$1" "$2" "$3" "$logs/$1.log")")
  local lacking
  while IFS= read -r lacking; do summary+=("              $lacking"); done \
    < <(grep -ao '^not run: .*' "$logs/$1.log" 2>/dev/null | sort -u)
}

print_summary() {
  echo
  echo "== Summary ($(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s)"
  local line
  for line in "${summary[@]}"; do echo "$line"; done
  echo "test-all: $passed passed, $failed failed"
}

# Ended early (a signal, a failed step of this script): the emulator is
# stopped, its log shown, and whatever ran is summed up as failed.
end_early() {
  trap - EXIT INT TERM
  if [ -n "$win32_pid" ] && kill -0 "$win32_pid" 2>/dev/null; then
    echo "test-all: stopping the 32-bit tests" >&2
    kill -- -"$win32_pid" 2>/dev/null || kill "$win32_pid" 2>/dev/null
    pkill -f "vm32job=$PWD/build/vm32/" 2>/dev/null
    tail -n 60 "$logs/win32.log" 2>/dev/null
  fi
  failed=$((failed + 1))
  summary+=("test-all ended early")
  print_summary
  exit 1
}
trap end_early EXIT INT TERM

build() { cmake --preset "$1" >/dev/null && cmake --build --preset "$1"; }

# The 32-bit build's tests take longest, in the emulator most of all: they
# run meanwhile, in a process group of their own (which the trap can stop),
# with their own Wine prefix and display. In the emulator each randomised
# case runs a few rounds instead of hundreds: every case still runs, and the
# 64-bit build and the native tests run them all.
start_win32_tests() {
  win32_began=$SECONDS
  echo "== win32, meanwhile (log: $logs/win32.log)"
  scenreg_can_run win32 || export SCENREG_E2E_FEW_REPEATS=1
  set -m
  # Its own time is kept, as the wait for it below may come long after.
  (
    scenreg_where_32bit_runs bash scripts/wine-tests.sh win32
    status=$?
    echo $((SECONDS - win32_began)) >"$logs/win32.seconds"
    exit $status
  ) >"$logs/win32.log" 2>&1 &
  win32_pid=$!
  set +m
  unset SCENREG_E2E_FEW_REPEATS
}
if scenreg_can_run win32; then
  run_part build-win32 build win32 && start_win32_tests
else
  # The emulator's start and its new Wine prefix take minutes: they go on
  # while the build does. The tests then wait for the build's result, which
  # a file on the shared root file system hands to the guest.
  export SCENREG_BUILD_RESULT=$PWD/$logs/build-win32.result
  start_win32_tests
  unset SCENREG_BUILD_RESULT
  if run_part build-win32 build win32; then result=passed; else result=failed; fi
  # Whole or not at all: written aside, then renamed.
  echo "$result" >"$logs/build-win32.result.part"
  mv "$logs/build-win32.result.part" "$logs/build-win32.result"
fi
# The parts from here on give way to the 32-bit tests, the longest: they
# start at a lower priority, as everything this script starts from now on
# does.
renice -n 10 -p $$ >/dev/null

native() { build native && ctest --preset native; }
run_part native native
run_part valgrind bash scripts/valgrind-tests.sh
tsan() { build native-tsan && ctest --preset native-tsan; }
run_part tsan tsan
run_part fuzz bash scripts/fuzz-smoke.sh "${SCENREG_FUZZ_SECONDS:-10}"
win64() { build win64 && bash scripts/wine-tests.sh win64; }
run_part win64 win64

if [ -n "$win32_pid" ]; then
  echo "== waiting for the 32-bit tests"
  if wait "$win32_pid"; then result=passed; passed=$((passed + 1)); else
    result=FAILED; failed=$((failed + 1)); tail -n 60 "$logs/win32.log"; fi
  win32_pid=""
  seconds=$(cat "$logs/win32.seconds" 2>/dev/null || echo $((SECONDS - win32_began)))
  add_to_summary win32 "$result" "$seconds"
else
  failed=$((failed + 1))
  summary+=("win32         FAILED      0 s  not run: its build failed")
fi

trap - EXIT INT TERM
print_summary
[ "$failed" -eq 0 ]
