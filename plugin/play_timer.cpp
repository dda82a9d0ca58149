// The play-time timer thread. It talks to the host's main window, which waits
// for nobody but itself; once asked to stop it never does, so the session may
// wait for it without limit.
#include <windows.h>

#include <cstdint>

#include "plugin/session.h"
#include "plugin/workers.h"
#include "profile/build_profile.h"

namespace {

DWORD WINAPI timer(void* param) {
    // Each timer has its own turn: a play that starts the next timer while
    // this one is still winding down cannot make it run on.
    const uint32_t turn = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(param));
    auto stop_asked = [turn] { return g_timer_turn.load(std::memory_order_relaxed) != turn; };
    while (!profile_track_over(g_elapsed_ticks.load(std::memory_order_relaxed))) {
        if (stop_asked()) return 0;
        Sleep(kProfileTimerSleepMs);
        if (stop_asked()) return 0;
        // One step, not load and store: a sub-song change on the main thread
        // may set the count back to 0 meanwhile, and must not be undone.
        g_elapsed_ticks.fetch_add(kProfileTicksPerRound, std::memory_order_relaxed);
    }
    if (stop_asked()) return 0;
    const LRESULT repeat = SendMessageA(g_module.main_window, kHostMessage, 0, kAskRepeat);
    if (stop_asked()) return 0;  // stopped while the host answered: the track is over anyway
    if (repeat != 1) {
        PostMessageA(g_module.main_window, kEndOfTrack, 0, 0);
        g_elapsed_ticks.store(0, std::memory_order_relaxed);
    }
    return 0;
}

}  // namespace

HANDLE play_timer_start(uint32_t turn) {
    return CreateThread(nullptr, 0, timer, reinterpret_cast<void*>(static_cast<uintptr_t>(turn)), 0,
                        nullptr);
}
