#!/bin/sh
# Runs a Windows test program under Wine for CTest, with the loader of the
# program's own build. The caller keeps a wineserver up (wineserver -p) so
# that each start is quick.
. "$(dirname "$0")/../scripts/wine-loader.sh"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
loader=$(scenreg_wine_loader "$(scenreg_program_build "$1")") || exit 125
exec "$loader" "$@"
