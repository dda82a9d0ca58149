// Runs a loaded DLL's clock fast, for tests that only need its time to pass
// (a whole track, the link's 12 s bound): its Sleep and GetTickCount imports
// are pointed at a clock on which each of its milliseconds lasts 1/scale of
// a real one. The DLL file stays as shipped; only its loaded import table
// changes, and unloading the DLL ends the patch.
#pragma once

#include <windows.h>

#include <cstdint>

// Patches `dll` and zeroes the sleep counts; false when it imports either
// call from elsewhere. Waits the DLL makes through other calls
// (WaitForSingleObject, message boxes) keep real time.
bool fast_clock_install(HMODULE dll, DWORD scale);
// The time as the patched DLL reads it.
DWORD fast_clock_now();
// How many times the DLL slept exactly `ms` since the install.
uint32_t fast_clock_sleeps(DWORD ms);
