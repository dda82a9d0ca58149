#!/usr/bin/env bash
# Runs every test: the loader fuzzer for a bounded time, the real DLLs in
# the player rig under Wine, then the native unit and release tests (whose
# summary closes the run).
source "$(dirname "$0")/common.sh"
build_all

say "loader and song-length database fuzzing (${ZORBIN_FUZZ_SECONDS:=30} s; set ZORBIN_FUZZ_SECONDS for a longer run)"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$FUZZ" -G Ninja -DZORBIN_FUZZ=ON >/dev/null
cmake --build "$FUZZ" --target fuzz_loader -j "$JOBS"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp "$NATIVE/demo/demo.sid" "$work/corpus/"
printf '[Database]\r\n; /X/a.sid\r\n0123456789abcdefABCDEF0123456789=0:02 1:30.500 2:01(G)\r\n' \
    >"$work/corpus/songlengths.md5"
if ! (cd "$work" && "$FUZZ/fuzz/fuzz_loader" -max_total_time="$ZORBIN_FUZZ_SECONDS" \
        -max_len=66000 -print_final_stats=1 corpus >fuzz.log 2>&1); then
    cat "$work/fuzz.log"
    echo "the loader fuzzer found a fault (the input is saved as $work/crash-*)"
    trap - EXIT
    exit 1
fi
grep -E '^stat::number_of_executed_units' "$work/fuzz.log"

say "the real DLLs in the player rig (Wine)"
wine_ready
# The pictures stay in build/: scripts/screenshots.sh updates docs/.
shots=$ROOT/build/shots
rm -rf "$shots" && mkdir -p "$shots"
rig_status=0
run_rig "$ROOT/build/rig.log" "$shots" || rig_status=$?
tr -d '\r' <"$ROOT/build/rig.log"
# The summary line is the proof that the whole run came to its end; a rig
# ended from outside may not leave a failing status behind.
if [ "$rig_status" -eq 0 ] && { ! tr -d '\r' <"$ROOT/build/rig.log" | grep -q '^\[  PASSED  \] [0-9]* test' ||
        tr -d '\r' <"$ROOT/build/rig.log" | grep -q '^\[  FAILED  \]'; }; then
    rig_status=1
fi
if [ "$rig_status" -ne 0 ]; then
    echo "the player rig failed (status $rig_status); Wine's messages are in build/rig.log.err"
    exit 1
fi

say "zorbin-inspect.exe under Wine"
run_wine "$ROOT/build/inspect.log" "$CROSS/zorbin-inspect.exe" "$(winpath "$NATIVE/demo/demo.sid")" || true
if ! tr -d '\r' <"$ROOT/build/inspect.log" | grep -q '^playable: yes$'; then
    echo "zorbin-inspect.exe did not vet the demo tune:"; cat "$ROOT/build/inspect.log"; exit 1
fi
echo "zorbin-inspect.exe: the demo tune is playable"

say "the installer under Wine (silent installs into fake player folders, uninstalls, refusals, failed steps)"
wine_ready
setup_status=0
run_wine "$ROOT/build/installer-test.log" "$CROSS/installer/installer_test.exe" "$(winpath "$ROOT/dist")" ||
    setup_status=$?
tr -d '\r' <"$ROOT/build/installer-test.log"
if [ "$setup_status" -ne 0 ]; then
    echo "the installer test failed (status $setup_status); Wine's messages are in build/installer-test.log.err"
    exit 1
fi

say "native tests"
ctest --test-dir "$NATIVE" --output-on-failure -j "$JOBS"
