# Decides which Windows builds this machine can run, and starts each Windows
# program with the Wine loader of its own build. Sourced by every script that
# starts Wine (and, through tests/run-under-wine.sh, by CTest); run it
# directly to see what it decided. POSIX sh, since CTest's runner and the
# end-to-end tests' Unix helper are sh scripts.
#
# Each build has its own loader on every kernel: the 32-bit build Wine's
# 32-bit loader, the 64-bit build the 64-bit one. Debian's `wine` launcher
# always starts the 32-bit loader first, even for a 64-bit program; when the
# kernel then kills that program with a signal (a file size limit, say), the
# launcher ends with status 0. Started by its own loader, a program killed by
# signal N ends with 128 + N, and what runs for the 64-bit build is the same
# whether or not the kernel runs 32-bit programs. Some kernels run none at
# all ("32-bit emulation disabled"): there the 32-bit build cannot run.
#
# Sets and exports:
#   SCENREG_WINE_BUILDS      the runnable builds: "win32 win64" or "win64"
#   SCENREG_WINE_NO_32BIT    empty, or why 32-bit programs cannot run here
# SCENREG_WINE_32BIT=0 or 1 overrides the probe (to try the other kind of
# kernel's path); a decision made by an earlier probe is kept, so the probe
# runs once per session.

scenreg_wine32_loader=/usr/lib/wine/wine
scenreg_wine64_loader=/usr/lib/wine/wine64

if [ -z "${SCENREG_WINE_BUILDS:-}" ]; then
  SCENREG_WINE_NO_32BIT=""
  case "${SCENREG_WINE_32BIT:-}" in
    0) SCENREG_WINE_NO_32BIT="SCENREG_WINE_32BIT=0 is set" ;;
    1) ;;
    *)
      if [ ! -x "$scenreg_wine32_loader" ]; then
        SCENREG_WINE_NO_32BIT="Wine's 32-bit part is not installed"
      elif ! "$scenreg_wine32_loader" --version >/dev/null 2>&1; then
        SCENREG_WINE_NO_32BIT="this kernel runs no 32-bit programs (32-bit emulation disabled)"
      fi
      ;;
  esac
  if [ -z "$SCENREG_WINE_NO_32BIT" ]; then
    SCENREG_WINE_BUILDS="win32 win64"
  else
    SCENREG_WINE_BUILDS="win64"
    # Programs that Wine starts from inside take the 64-bit loader too.
    export WINELOADER="$scenreg_wine64_loader"
  fi
  export SCENREG_WINE_BUILDS SCENREG_WINE_NO_32BIT
fi

# True when this machine can run the given build (win32 or win64).
scenreg_can_run() {
  case " $SCENREG_WINE_BUILDS " in *" $1 "*) return 0 ;; esac
  return 1
}

# The loader of a build (win32 or win64).
scenreg_wine_loader() {
  case $1 in
    win32) echo "$scenreg_wine32_loader" ;;
    win64) echo "$scenreg_wine64_loader" ;;
    *) echo "wine-loader.sh: no build named '$1'" >&2; return 1 ;;
  esac
}

# The build of a Windows program, read from its image's machine type; fails
# for anything else, so that no program goes to a loader by guess.
scenreg_program_build() {
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  case $(od -An -tx2 -j"$((${pe:-0} + 4))" -N2 "$1" 2>/dev/null | tr -d ' ') in
    014c) echo win32 ;;
    8664) echo win64 ;;
    *) echo "wine-loader.sh: $1 is not a 32-bit or 64-bit x86 Windows program" >&2; return 1 ;;
  esac
}

# Runs a Windows program (a Unix path) with its build's loader: the command's
# status is the program's, or 128 + N when signal N killed it.
scenreg_wine() {
  scenreg_loader=$(scenreg_wine_loader "$(scenreg_program_build "$1")") || return 125
  "$scenreg_loader" "$@"
}

# Runs a command where this machine's 32-bit programs run: here when the
# kernel runs them, else in the emulator (scripts/vm32.sh). Called from the
# checkout's top folder, where the command starts either way.
scenreg_where_32bit_runs() {
  if scenreg_can_run win32; then
    "$@"
    return
  fi
  echo "In the emulator, as $SCENREG_WINE_NO_32BIT: $*"
  # The end-to-end tests make named pipes and immutable files, which the
  # shared root file system cannot hold: their folders go on the guest's own
  # disk in memory. So does the Wine prefix, a 32-bit one made anew each
  # time: there it takes about a minute, where a 64-bit one on the shared
  # file system takes a quarter of an hour.
  WINEPREFIX=/run/disk/wineprefix WINEARCH=win32 SCENREG_E2E_SCRATCH=/run/disk/scenreg-e2e \
    bash scripts/vm32.sh "$@"
}

# Run directly rather than sourced: say what was decided.
if [ "$(basename -- "$0")" = wine-loader.sh ]; then
  echo "Windows builds that run here: $SCENREG_WINE_BUILDS"
  for build in $SCENREG_WINE_BUILDS; do echo "$build loader: $(scenreg_wine_loader "$build")"; done
  [ -z "$SCENREG_WINE_NO_32BIT" ] || echo "No 32-bit programs: $SCENREG_WINE_NO_32BIT"
fi
