#!/usr/bin/env bash
# Builds everything (native tools and tests, both DLLs into dist/, the
# player rig) and runs the demo: the inspector vets the bundled demo tune
# and shows the bytes an upload puts on the cable; then the real full-build
# DLL, loaded by the player rig under Wine, plays it into the simulated C64,
# switches to sub-song 2, runs out its (short) playing time and stops; and
# once more into our receiver running in an emulated C64.
source "$(dirname "$0")/common.sh"
build_all

say "release: the installer, the archive and the C64 disk image"
ls -l "$ROOT"/dist/in_zorbin-*-setup.exe "$ROOT"/dist/in_zorbin-*.zip "$ROOT/dist/c64/in_zorbin.d64"

say "demo: the bundled tune, as the plug-in sees it and as it crosses the cable"
"$NATIVE/zorbin-inspect" --wire "$NATIVE/demo/demo.sid"

say "demo: the real DLL plays the demo tune into the simulated C64"
wine_ready
status=0
run_wine "$ROOT/build/demo.log" "$RIG/rig/host/zorbin_rig.exe" --demo \
    "$(winpath "$ROOT/dist/full/in_zorbin.dll")" "$(winpath "$NATIVE/demo/demo.sid")" || status=$?
tr -d '\r' <"$ROOT/build/demo.log"
[ "$status" -eq 0 ] || exit "$status"

say "demo: the same, with our receiver running in an emulated C64 at the other end"
run_wine "$ROOT/build/demo-c64.log" "$RIG/rig/host/zorbin_rig.exe" --demo \
    "$(winpath "$ROOT/dist/full/in_zorbin.dll")" "$(winpath "$NATIVE/demo/demo.sid")" \
    "$(winpath "$NATIVE/receiver/receiver.prg")" || status=$?
tr -d '\r' <"$ROOT/build/demo-c64.log"
exit "$status"
