#!/bin/sh
# Runs a cross-built Windows program under Wine, in the prefix of
# $WINEPREFIX (default: a prefix in the user's cache folder), without Wine's
# Mono and Gecko prompts or its debug output. Used by ctest as the emulator.
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/qvl-utility/wine-prefix}"
export WINEPREFIX
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEDEBUG="${WINEDEBUG:--all}"
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
exec "$WINE" "$@"
