#!/bin/sh
# Runs a Windows test program under Wine for CTest. The caller keeps a
# wineserver up (wineserver -p) so that each start is quick.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
