# Decides which Wine loader starts Windows programs here, and which Windows
# builds this machine can run. Sourced by every script that starts Wine (and,
# through tests/run-under-wine.sh, by CTest); run it directly to see what it
# decided.
#
# Debian's `wine` launcher always starts Wine's 32-bit loader first. Some
# kernels run no 32-bit program at all ("32-bit emulation disabled"): there
# that launcher fails with "Exec format error" even for a 64-bit program, so
# the 64-bit loader is started directly, and the 32-bit build cannot run.
#
# Sets and exports:
#   SCENREG_WINE             the loader command (wine, or the 64-bit loader)
#   SCENREG_WINE_BUILDS      the runnable builds: "win32 win64" or "win64"
#   SCENREG_WINE_NO_32BIT    empty, or why 32-bit programs cannot run here
# SCENREG_WINE_32BIT=0 or 1 overrides the probe (to try the other kind of
# kernel's path); a SCENREG_WINE set by an earlier probe is kept, so the
# decision is made once per session.

scenreg_wine32_loader=/usr/lib/wine/wine
scenreg_wine64_loader=/usr/lib/wine/wine64

if [ -z "${SCENREG_WINE:-}" ]; then
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
    SCENREG_WINE=wine
    SCENREG_WINE_BUILDS="win32 win64"
  else
    SCENREG_WINE=$scenreg_wine64_loader
    SCENREG_WINE_BUILDS="win64"
    # Programs that Wine starts from inside take the same loader.
    export WINELOADER="$scenreg_wine64_loader"
  fi
  export SCENREG_WINE SCENREG_WINE_BUILDS SCENREG_WINE_NO_32BIT
fi

# True when this machine can run the given build (win32 or win64).
scenreg_can_run() {
  case " $SCENREG_WINE_BUILDS " in *" $1 "*) return 0 ;; esac
  return 1
}

# Runs a command where this machine's 32-bit programs run: here when the
# kernel runs them, else in the emulator (scripts/vm32.sh). Called from the
# checkout's top folder, where the command starts either way. The emulator's
# guest keeps a Wine prefix of its own in the build folder, which the host's
# Wine never touches.
scenreg_where_32bit_runs() {
  if scenreg_can_run win32; then
    "$@"
    return
  fi
  echo "In the emulator, as $SCENREG_WINE_NO_32BIT: $*"
  # The end-to-end tests make named pipes and immutable files, which the
  # shared root file system cannot hold: their folders go on the guest's own
  # tmpfs (/run).
  WINEPREFIX="$PWD/build/vm32/wineprefix" SCENREG_E2E_SCRATCH=/run/scenreg-e2e \
    bash scripts/vm32.sh "$@"
}

# Run directly rather than sourced: say what was decided.
if [ "$(basename -- "$0")" = wine-loader.sh ]; then
  echo "Wine loader: $SCENREG_WINE"
  echo "Windows builds that run here: $SCENREG_WINE_BUILDS"
  [ -z "$SCENREG_WINE_NO_32BIT" ] || echo "No 32-bit programs: $SCENREG_WINE_NO_32BIT"
fi
