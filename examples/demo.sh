#!/usr/bin/env bash
# Builds the demo disc: draws its pictures and sounds, checks the project,
# lays out the disc folder and previews the menu.
# Usage: demo.sh DISCTOOL OUTDIR  (demo_media is found next to DISCTOOL)
# DEMO_RUNTIME names the Setup.exe to put on the disc; without it the 32-bit
# build is preferred, then the 64-bit one.
set -euo pipefail
disctool=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
bin=$(dirname "$disctool")
root=$(cd "$here/.." && pwd)

# The project is copied so that the drawn media do not land in the source tree.
rm -rf "$out/project"
mkdir -p "$out"
cp -r "$here/demo" "$out/project"
rm -f "$out/project/make_media.cpp"
"$bin/demo_media" "$out/project/media"

echo "== disctool project check"
"$disctool" project check "$out/project"
echo
echo "== disctool project build"
runtime=${DEMO_RUNTIME:-}
if [ -z "$runtime" ]; then
    for candidate in "$root/build/win32/bin/Setup.exe" "$root/build/win64/bin/Setup.exe"; do
        [ -f "$candidate" ] && runtime=$candidate && break
    done
fi
if [ -n "$runtime" ]; then
    "$disctool" project build "$out/project" -o "$out/disc" --runtime "$runtime"
else
    echo "   (no Setup.exe built yet: the disc gets project.vgf instead)"
    "$disctool" project build "$out/project" -o "$out/disc" --no-runtime
fi
echo
echo "== disctool pack list $out/disc/Setup.pac"
"$disctool" pack list "$out/disc/Setup.pac"
echo
echo "== disctool project preview"
"$disctool" project preview "$out/project" -o "$out/preview"
