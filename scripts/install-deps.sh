#!/usr/bin/env bash
# Installs every Debian package the project needs to build and test.
# Idempotent: when everything is already installed it only checks and exits.
set -euo pipefail

packages=(
    build-essential
    g++
    cmake
    ninja-build
    pkg-config
    googletest
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    qt6-base-dev
    qt6-base-dev-tools
    qt6-qpa-plugins
    libqt6sql6-sqlite
    qt6-multimedia-dev
    qt6-svg-dev
    libgl-dev
    libical-dev
    nlohmann-json3-dev
    clang
    libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
