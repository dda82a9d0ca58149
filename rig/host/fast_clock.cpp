#include "rig/host/fast_clock.h"

#include "rig/host/rig_support.h"

namespace {

constexpr DWORD kCountedSleeps = 1024;  // longer sleeps are not counted

volatile LONG g_scale = 1;
LARGE_INTEGER g_frequency, g_real_start;
DWORD g_start_ms = 0;
volatile LONG g_sleeps[kCountedSleeps];

DWORD WINAPI fast_get_tick_count() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const uint64_t real_us = static_cast<uint64_t>(now.QuadPart - g_real_start.QuadPart) *
                             1000000u / static_cast<uint64_t>(g_frequency.QuadPart);
    return g_start_ms + static_cast<DWORD>(real_us * static_cast<uint64_t>(g_scale) / 1000u);
}

// A sleep shorter than one real millisecond is owed, not dropped: the
// thread's next sleeps pay it, so the DLL's 10 ms rounds still add up.
void WINAPI fast_sleep(DWORD ms) {
    if (ms < kCountedSleeps) InterlockedIncrement(&g_sleeps[ms]);
    if (ms == INFINITE) return Sleep(INFINITE);
    static thread_local DWORD owed = 0;
    owed += ms;
    const DWORD real = owed / static_cast<DWORD>(g_scale);
    owed -= real * static_cast<DWORD>(g_scale);
    Sleep(real);
}

}  // namespace

bool fast_clock_install(HMODULE dll, DWORD scale) {
    for (auto& count : g_sleeps) InterlockedExchange(&count, 0);
    QueryPerformanceFrequency(&g_frequency);
    QueryPerformanceCounter(&g_real_start);
    g_start_ms = GetTickCount();
    InterlockedExchange(&g_scale, static_cast<LONG>(scale));
    return rig_patch_import(dll, "KERNEL32.dll", "GetTickCount",
                            reinterpret_cast<void*>(fast_get_tick_count)) != nullptr &&
           rig_patch_import(dll, "KERNEL32.dll", "Sleep", reinterpret_cast<void*>(fast_sleep)) !=
               nullptr;
}

DWORD fast_clock_now() { return fast_get_tick_count(); }

uint32_t fast_clock_sleeps(DWORD ms) {
    return ms < kCountedSleeps ? static_cast<uint32_t>(g_sleeps[ms]) : 0;
}
