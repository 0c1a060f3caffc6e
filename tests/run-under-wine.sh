#!/bin/sh
# Runs a Windows test program under Wine for CTest, with the loader that the
# probe chose for this machine. The caller keeps a wineserver up
# (wineserver -p) so that each start is quick.
. "$(dirname "$0")/../scripts/wine-loader.sh"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec $SCENREG_WINE "$@"
