#!/usr/bin/env bash
# The effect precompiler turns every ".fx" of the asset tree into a ".fxo" at the same relative
# path, and fails (exit 1, no output file) on an effect that does not compile.
# Usage: effect_precompile_test.sh <kvfxc> <assets folder>
set -uo pipefail
kvfxc=$1
assets=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$kvfxc" "$assets" "$work/out" || { echo "kvfxc failed on the asset tree"; exit 1; }
count=0
while IFS= read -r -d '' fx; do
    relative=${fx#"$assets"/}
    [ -s "$work/out/${relative%.fx}.fxo" ] || { echo "no .fxo for $relative"; exit 1; }
    count=$((count + 1))
done < <(find "$assets" -name '*.fx' -print0)
[ "$count" -gt 0 ] || { echo "no effect files found"; exit 1; }
mkdir -p "$work/broken/Shader"
echo "technique11 T { pass P {" > "$work/broken/Shader/Broken.fx"
if "$kvfxc" "$work/broken" "$work/broken-out" 2>/dev/null; then
    echo "kvfxc accepted an effect that does not compile"
    exit 1
fi
[ ! -e "$work/broken-out/Shader/Broken.fxo" ] || { echo "a broken effect left an output file"; exit 1; }
"$kvfxc" >/dev/null 2>&1
[ $? -eq 2 ] || { echo "wrong usage did not exit with 2"; exit 1; }
exit 0
