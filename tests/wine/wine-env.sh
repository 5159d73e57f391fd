# Shared by the Wine test scripts: the prefix, quiet Wine, and the display.
WINE_DIR=$1
export WINEPREFIX="$WINE_DIR/prefix"
export WINEDEBUG=-all
# No Mono or Gecko download prompts in a fresh prefix, and no desktop menu
# entries made from the shortcuts the tests create (winemenubuilder would
# also keep their target files open for a while).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -z "${DISPLAY:-}" ] && [ -f "$WINE_DIR/display" ]; then
    DISPLAY=$(cat "$WINE_DIR/display")
    export DISPLAY
fi
if command -v wine64 >/dev/null 2>&1; then
    WINE=wine64
elif [ -x /usr/lib/wine/wine64 ]; then
    WINE=/usr/lib/wine/wine64
else
    WINE=wine
fi
if command -v wineserver >/dev/null 2>&1; then
    WINESERVER=wineserver
else
    WINESERVER=/usr/lib/wine/wineserver
fi
