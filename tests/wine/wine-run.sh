#!/bin/sh
# CTest's way of running a Windows test program: wine-run.sh WINE_DIR PROGRAM ARGS...
# Absolute host paths among the arguments become Z: paths.
. "$(dirname "$0")/wine-env.sh"
shift
program=$1
shift
for arg in "$@"; do
    case "$arg" in
    /*) arg="Z:$(printf '%s' "$arg" | tr '/' '\\')" ;;
    esac
    set -- "$@" "$arg"
    shift
done
# Wine's helper processes (explorer, services) can outlive the program; give
# them a log file rather than CTest's pipes, so the test ends with the program.
log=$(mktemp)
$WINE "$program" "$@" </dev/null >"$log" 2>&1
rc=$?
cat "$log"
rm -f "$log"
exit $rc
