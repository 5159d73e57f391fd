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
exec $WINE "$program" "$@"
