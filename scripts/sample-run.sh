#!/usr/bin/env bash
# Runs one scenreg.exe in a simulator folder under Wine, through the run
# driver of a Windows build, and ends as the driver does (0 when the program
# ended with status 0). The run command and the release use it; for a 32-bit
# program they start it in the emulator where the kernel runs no 32-bit
# programs.
# usage: sample-run.sh PRESET PROGRAM FOLDER user|answer   (Unix paths)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-session.sh
scenreg_wine "$PWD/build/$1/tests/e2e/scenreg_sample_run.exe" "$2" "$3" "$4"
