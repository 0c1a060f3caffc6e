#!/usr/bin/env bash
# Runs every test: the native build with AddressSanitizer and
# UndefinedBehaviorSanitizer, the native tests under valgrind, the race tests
# again with ThreadSanitizer, a short run of each fuzz target, then the
# 32-bit and 64-bit Windows builds under Wine, their window tests included:
# the 32-bit one in a full-system emulator where the kernel runs no 32-bit
# programs, meanwhile. Each part's output goes to a log of its own under
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
    echo "test-all: stopping the 32-bit tests in the emulator" >&2
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

build_windows() {
  for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" || return 1
  done
}
run_part build-windows build_windows

# The 32-bit build, the one to ship. In the emulator it takes longer than all
# the rest, so it runs meanwhile, in a process group of its own (which the
# trap can stop), with its own Wine prefix and display.
win32_began=$SECONDS
if scenreg_can_run win32; then
  run_part win32 bash scripts/wine-tests.sh win32
else
  echo "== win32, in the emulator meanwhile (log: $logs/win32.log)"
  set -m
  # Each randomised case runs a few rounds there, not hundreds: every case
  # still runs, and the 64-bit build and the native tests run them all.
  SCENREG_E2E_FEW_REPEATS=1 scenreg_where_32bit_runs bash scripts/wine-tests.sh win32 \
    >"$logs/win32.log" 2>&1 &
  win32_pid=$!
  set +m
fi

native() {
  cmake --preset native >/dev/null && cmake --build --preset native && ctest --preset native
}
run_part native native
run_part valgrind bash scripts/valgrind-tests.sh
tsan() {
  cmake --preset native-tsan >/dev/null && cmake --build --preset native-tsan &&
    ctest --preset native-tsan
}
run_part tsan tsan
run_part fuzz bash scripts/fuzz-smoke.sh "${SCENREG_FUZZ_SECONDS:-30}"
run_part win64 bash scripts/wine-tests.sh win64

if [ -n "$win32_pid" ]; then
  echo "== waiting for the 32-bit tests in the emulator"
  if wait "$win32_pid"; then result=passed; passed=$((passed + 1)); else
    result=FAILED; failed=$((failed + 1)); tail -n 60 "$logs/win32.log"; fi
  win32_pid=""
  add_to_summary win32 "$result" $((SECONDS - win32_began))
fi

trap - EXIT INT TERM
print_summary
[ "$failed" -eq 0 ]
