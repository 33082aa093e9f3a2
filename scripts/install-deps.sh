#!/usr/bin/env bash
# Installs, with apt, whatever the build, the tests and the program need and
# the machine lacks. Safe to run again: it does nothing when all is there.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang clang-tidy cppcheck lld llvm libclang-rt-14-dev
    googletest libbenchmark-dev zlib1g-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev
    wine wine64 fonts-wine xvfb xauth x11-apps imagemagick fonts-ipafont-gothic
    python3 python3-pefile locales
)

# The Japanese guide's check runs textlint, which npm installs from
# package-lock.json; Node.js may come from elsewhere than Debian.
if ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
