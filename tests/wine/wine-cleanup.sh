#!/bin/sh
# Stops the Wine server and the Xvfb that the setup started.
. "$(dirname "$0")/wine-env.sh"
$WINESERVER -k >/dev/null 2>&1 || true
if [ -f "$WINE_DIR/xvfb.pid" ]; then
    kill "$(cat "$WINE_DIR/xvfb.pid")" 2>/dev/null || true
    rm -f "$WINE_DIR/xvfb.pid" "$WINE_DIR/display"
fi
if mountpoint -q "$WINE_DIR/small-drive" 2>/dev/null; then
    rm -f "$WINEPREFIX/dosdevices/s:"
    umount "$WINE_DIR/small-drive" 2>/dev/null || true
fi
exit 0
