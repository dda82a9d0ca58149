#!/usr/bin/env bash
# Remakes the window pictures in docs/ from the real full-build DLL: runs the
# player rig under Wine, which photographs the plug-in's windows, and
# converts each picture to PNG. A step of its own because it rewrites
# tracked files (test.sh keeps its pictures in build/shots); commit the
# pictures when the windows have changed.
source "$(dirname "$0")/common.sh"
build_all

say "the player rig photographs the plug-in's windows (Wine)"
wine_ready
shots=$ROOT/build/screenshots
rm -rf "$shots" && mkdir -p "$shots"
if ! run_rig "$ROOT/build/screenshots.log" "$shots"; then
    tr -d '\r' <"$ROOT/build/screenshots.log"
    echo "the player rig failed; docs/ is left as it was"
    exit 1
fi
for bmp in "$shots"/*.bmp; do
    [ -e "$bmp" ] || continue
    png=$ROOT/docs/$(basename "${bmp%.bmp}").png
    # Without the time chunks an unchanged window gives an unchanged file.
    convert "$bmp" -define png:exclude-chunks=date,time "$png"
    echo "${png#"$ROOT"/}"
done
