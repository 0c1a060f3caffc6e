# Sourced by the scripts that run Windows programs: a virtual display when
# there is none, a Wine prefix, and a wineserver kept up so that each program
# start costs milliseconds instead of seconds. Everything started here is
# stopped when the sourcing script exits.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}"
source "$(dirname "${BASH_SOURCE[0]}")/wine-loader.sh"

scenreg_xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  scenreg_xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi

scenreg_new_prefix=0
[ -f "$WINEPREFIX/system.reg" ] || scenreg_new_prefix=1
# The 64-bit loader sets up a prefix for both builds; a 32-bit one
# (WINEARCH=win32, the emulator's) is set up by the 32-bit loader.
scenreg_boot_loader=$scenreg_wine64_loader
[ "${WINEARCH:-}" != win32 ] || scenreg_boot_loader=$scenreg_wine32_loader
"$scenreg_boot_loader" wineboot -i >/dev/null 2>&1 || true
# A new prefix goes on being set up after wineboot returns (its 32-bit half
# in programs of their own): wait until all of them have ended and the server
# with them, so that the first test does not pay for it.
[ "$scenreg_new_prefix" -eq 0 ] || timeout 900 wineserver -w || true
wineserver -p || true  # one may be up already

scenreg_end_wine_session() {
  wineserver -k >/dev/null 2>&1 || true
  # Waited for, so that it takes its lock file away: in the emulator the
  # machine is switched off right after, and /tmp is shared with the host.
  if [ -n "$scenreg_xvfb_pid" ]; then
    kill "$scenreg_xvfb_pid" 2>/dev/null || true
    wait "$scenreg_xvfb_pid" 2>/dev/null || true
  fi
}
trap scenreg_end_wine_session EXIT
