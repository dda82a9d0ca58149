// The full build: settings from the registry, the progress monitor, the
// play-time timer counting the configured time.
#pragma once

#include <cstdint>

#include "link/c64_link.h"
#include "plugin/play_time.h"
#include "port/port_route.h"
#include "settings/settings.h"

constexpr LinkVariant kProfileLink = kFullBuildLink;
constexpr bool kProfileTimeFromOutput = false;  // get output time counts the play-time timer's ticks
constexpr bool kProfileWatchesUploads = true;  // progress window and stall question
constexpr bool kProfileFindsPortLibrary = true;  // inpout32.dll where IN/OUT are refused
constexpr char kProfileNotReadyText[] = "C64 not ready. Check cable.";
// What the refusing route found: our driver not running, or on 64-bit
// Windows the port-I/O library missing or unusable.
inline const char* profile_no_access_text() { return port_route_refusal(); }

inline uint16_t profile_port_base() { return g_settings.port_base; }
inline int32_t profile_playing_time_ms() {
    return g_settings.playing_time_ms.load(std::memory_order_relaxed);
}

// The timer sleeps 199 ms a round and counts 20 ticks of 10 ms; the time is
// read afresh each round, so the dialog's change applies to the running track.
constexpr uint32_t kProfileTimerSleepMs = kTimerSleepMs;
constexpr uint32_t kProfileTicksPerRound = kTicksPerRound;
inline bool profile_track_over(uint32_t elapsed_ticks) {
    return play_time_over(elapsed_ticks, profile_playing_time_ms());
}
