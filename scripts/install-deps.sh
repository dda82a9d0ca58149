#!/usr/bin/env bash
# Installs every package the build and the tests need on a fresh Debian 12
# machine (run as root). Safe to run again: it only installs what is missing.
set -euo pipefail

need_native=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest
             libbenchmark-dev acme cc1541 pkg-config libsidplayfp-dev)
need_cross=(g++-mingw-w64-i686 binutils-mingw-w64-i686 nsis)
need_wine=(wine wine32:i386 fonts-wine xvfb xauth imagemagick x11-apps xdotool)

want=("${need_native[@]}" "${need_cross[@]}")
if [ "${ZORBIN_WITH_WINE:-1}" = 1 ]; then
    want+=("${need_wine[@]}")
fi

missing=()
for pkg in "${want[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: run as root (or install them) and try again" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
