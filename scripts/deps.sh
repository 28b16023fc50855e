#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demonstration need.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config clang clang-format
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libclang-rt-14-dev
    libspdlog-dev libavutil-dev libbenchmark-dev
    edid-decode iputils-ping xvfb xauth
    g++-mingw-w64-x86-64 wine64 xz-utils
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y "${missing[@]}"
fi
