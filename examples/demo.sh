#!/usr/bin/env bash
# What the authoring tools can do so far: build a project tree from its JSON
# form, show it, and convert it back. Usage: demo.sh DISCTOOL OUTDIR
set -euo pipefail
disctool=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"

echo "== disctool tree from-json: the demo project tree"
"$disctool" tree from-json "$here/demo-tree.json" "$out/project.vgf"
echo "   wrote $out/project.vgf ($(stat -c %s "$out/project.vgf") bytes)"
echo
echo "== disctool tree dump"
"$disctool" tree dump "$out/project.vgf"
echo
echo "== disctool tree to-json, and back to the same bytes"
"$disctool" tree to-json "$out/project.vgf" "$out/project.json"
"$disctool" tree from-json "$out/project.json" "$out/again.vgf"
cmp "$out/project.vgf" "$out/again.vgf" && echo "   identical"
echo
echo "== a damaged copy is refused with the offset where reading failed"
head -c 40 "$out/project.vgf" >"$out/damaged.vgf"
"$disctool" tree dump "$out/damaged.vgf" || true
