#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine (as root), only when something is missing.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libtinyxml-dev libexpat1-dev libicu-dev libstb-dev libboost-wave-dev libboost-thread-dev)
packages+=(libxml2-dev) # the XML loading tests' reference parser only
packages+=(libphysfs-dev libtbb-dev libtinyobjloader-dev libmeshoptimizer-dev) # peers of the benchmarks only
packages+=(ccache clang clang-format-16 python3) # the test command: cache, sanitizer build, checks
# clang with its sanitizer and libFuzzer runtimes, for the fuzz targets (scripts/fuzz.sh).
packages+=(clang libclang-rt-14-dev)
packages+=(libassimp-dev) # the COLLADA import benchmark's peer only
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
