# Shared by build.sh and test.sh: where things live and how to build them.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
NATIVE=$ROOT/build/native
CROSS=$ROOT/build/win32
FUZZ=$ROOT/build/fuzz
RIG=$ROOT/build/rig
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
    say "player rig (32-bit Windows test host)"
    cmake -S "$ROOT" -B "$RIG" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686-posix.cmake" \
        -DZORBIN_RIG=ON >/dev/null
    cmake --build "$RIG" -j "$JOBS"
}

# Makes 32-bit Wine usable here (on kernels without 32-bit support through
# a patched qemu user-mode emulator), then a prefix of our own, once.
wine_ready() {
    bash "$ROOT/scripts/wine/setup.sh"
    if [ -f /var/cache/in_zorbin/wine-env.sh ]; then
        # shellcheck disable=SC1091
        source /var/cache/in_zorbin/wine-env.sh
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "making the Wine prefix $WINEPREFIX (once)"
        wine wineboot -i >"$ROOT/build/wineboot.log" 2>&1 || true
        wineserver -w || true
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
            >/dev/null 2>&1 || true
        # Dialog sizes depend on the font; title bars need no window manager.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            >/dev/null 2>&1 || true
        mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
        cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
        # One desktop on a screen of the rig's size now: the first one also
        # registers the display adapter. Left to the first rig run, a window
        # made before that is done finds no display driver ("nodrv"), and
        # every message box and dialog of that whole run is missed.
        timeout -k 10 120 xvfb-run -a -s "-screen 0 1024x768x24" \
            wine explorer /desktop=warm,1024x768 cmd /c exit >>"$ROOT/build/wineboot.log" 2>&1 || true
        wineserver -w || true
    fi
    wineserver -p 2>/dev/null || true  # keep it up: each program then starts fast
}

# Runs a Windows program under Wine on a virtual screen. Output goes to
# files: Wine's background processes would keep a pipe open.
# A program that hangs (a message box nobody answers) is ended after
# ZORBIN_WINE_LIMIT seconds, so that a run always finishes.
run_wine() {
    local log=$1
    shift
    timeout -k 10 "${ZORBIN_WINE_LIMIT:-900}" \
        xvfb-run -a -s "-screen 0 1024x768x24" wine "$@" >"$log" 2>"$log.err"
}

# Runs the player rig under Wine on both DLLs, logging to $1; it photographs
# the plug-in's windows into the folder $2 (BMP files).
run_rig() {
    local log=$1 shots=$2
    run_wine "$log" "$RIG/rig/host/zorbin_rig.exe" \
        --dll "$(winpath "$ROOT/dist/full/in_zorbin.dll")" \
        --fixed-dll "$(winpath "$ROOT/dist/fixed/in_zorbin.dll")" \
        --shots "$(winpath "$shots")" \
        --receiver "$(winpath "$NATIVE/receiver/receiver.prg")" \
        --demo-tune "$(winpath "$NATIVE/demo/demo.sid")" ${ZORBIN_RIG_FILTER:+--gtest_filter="$ZORBIN_RIG_FILTER"}
}

# Windows path of a file here.
winpath() { printf 'Z:%s' "$(readlink -f "$1" | tr / '\\')"; }
