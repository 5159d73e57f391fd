#!/bin/sh
# Starts Xvfb when there is no display and creates a clean Wine prefix.
set -e
mkdir -p "$1"
rm -f "$1/display"
. "$(dirname "$0")/wine-env.sh"

if [ -z "$DISPLAY" ]; then
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$WINE_DIR/xvfb.log" 2>&1 &
    echo $! >"$WINE_DIR/xvfb.pid"
    i=0
    while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    [ -e "/tmp/.X11-unix/X$n" ] || { echo "Xvfb did not start on :$n" >&2; exit 1; }
    echo ":$n" >"$WINE_DIR/display"
    export DISPLAY=":$n"
fi

if [ "$DISC_KEEP_WINEPREFIX" = 1 ] && [ -f "$WINEPREFIX/system.reg" ]; then
    echo "keeping the Wine prefix $WINEPREFIX"
else
    $WINESERVER -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    echo "creating the Wine prefix $WINEPREFIX"
    $WINE wineboot --init </dev/null >"$WINE_DIR/wineboot.log" 2>&1
    # Xvfb has no window manager: unmanaged windows close in milliseconds
    # instead of Wine waiting two seconds for one.
    $WINE reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$WINE_DIR/wineboot.log" 2>&1
fi
# Drive S: is a small tmpfs (32 MB) for the tests of a full disc. Mounting
# needs root; without it the drive is missing and those tests are skipped.
small="$WINE_DIR/small-drive"
mkdir -p "$small"
if ! mountpoint -q "$small"; then
    mount -t tmpfs -o size=32m tmpfs "$small" 2>/dev/null || true
fi
if mountpoint -q "$small"; then
    rm -rf "${small:?}"/*
    ln -sfn "$small" "$WINEPREFIX/dosdevices/s:"
else
    rm -f "$WINEPREFIX/dosdevices/s:"
fi
# One persistent server for the whole run, started away from CTest's pipes
# so that a server outliving a test never holds them open.
$WINESERVER -k >/dev/null 2>&1 || true
$WINESERVER -w >/dev/null 2>&1 || true
setsid $WINESERVER -p </dev/null >/dev/null 2>&1 || true
echo "Wine prefix ready (DISPLAY=$DISPLAY)"
