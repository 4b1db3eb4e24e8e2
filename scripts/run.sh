#!/usr/bin/env bash
# Builds the production and plays it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)"
if [ -x build/release/production/kv27 ]; then
    if [ -x build/release/production/kvpack ]; then
        # The archive takes no ".fx" names: the effects go in precompiled (".fxo"), compiled
        # into a staged copy of the assets.
        rm -rf build/release/stage
        mkdir -p build/release/stage
        cp -R assets build/release/stage/assets
        build/release/production/kvfxc assets build/release/stage/assets
        build/release/production/kvpack build/release/stage/assets build/release/KV27.dat
    fi
    cd build/release && exec ./production/kv27 "$@"
fi
echo "Built the libraries; the kv27 program is not part of this build yet."
