# Shared by build.sh and test.sh: where things live and how to build them.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
NATIVE=$ROOT/build/native
CROSS=$ROOT/build/win32
FUZZ=$ROOT/build/fuzz
JOBS=$(nproc 2>/dev/null || echo 2)

# Wine keeps its prefix outside the tree; it is made once and reused.
export WINEARCH=win32
export WINEPREFIX=${ZORBIN_WINEPREFIX:-/var/tmp/in_zorbin-wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

say() { printf '\n== %s\n' "$*"; }

build_all() {
    bash "$ROOT/scripts/install-deps.sh"
    say "native build (portable code, tests, tools, benchmark)"
    cmake -S "$ROOT" -B "$NATIVE" -G Ninja >/dev/null
    cmake --build "$NATIVE" -j "$JOBS"
    say "cross build (32-bit Windows, MinGW-w64)"
    cmake -S "$ROOT" -B "$CROSS" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >/dev/null
    cmake --build "$CROSS" -j "$JOBS"
}

wine_prefix_ready() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "making the Wine prefix $WINEPREFIX (once)"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    fi
}
