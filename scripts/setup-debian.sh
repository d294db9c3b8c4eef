#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing need, only those
# that are missing, with one apt-get update at most.
set -eu
packages=(cmake ninja-build g++ perl googletest libgtest-dev g++-mingw-w64-x86-64 wine64 wine
          jackd2 libjack-jackd2-dev clang clang-format libclang-rt-14-dev time sox
          zip unzip dpkg-dev lintian file python3 libkissfft-dev nlohmann-json3-dev
          python3-numpy)
# The measurement report's test in a real browser.
packages+=(chromium)
missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi
