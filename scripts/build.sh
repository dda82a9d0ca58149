#!/usr/bin/env bash
# Builds everything (native tools and tests, the Windows cross build) and
# runs the demo: the inspector vets the bundled demo tune and shows the bytes
# an upload of it puts on the cable, captured from the real link code
# talking to the simulated receiver.
source "$(dirname "$0")/common.sh"
build_all

say "demo: the bundled tune, as the plug-in sees it and as it crosses the cable"
"$NATIVE/zorbin-inspect" --wire "$NATIVE/demo/demo.sid"
