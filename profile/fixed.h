// The fixed-port build: port 0x278, 150 s per track, no settings, no
// progress monitor, one strobe before the low nibble.
#pragma once

#include <cstdint>

#include "link/c64_link.h"

constexpr LinkVariant kProfileLink = kFixedBuildLink;
constexpr bool kProfileTimeFromOutput = true;  // get output time asks the output module
constexpr bool kProfileWatchesUploads = false;
constexpr bool kProfileFindsPortLibrary = false;  // IN/OUT only
constexpr char kProfileNotReadyText[] = "C64 not ready";
// This build installs no port driver: where the system refuses the port,
// only another system (or the full build) helps.
inline const char* profile_no_access_text() {
    return "No access to the parallel port.\n"
           "This build needs a system that lets programs use the port directly (the Windows 9x family).\n"
           "On Windows NT, 2000 or XP use the full build.";
}

constexpr uint16_t kFixedPortBase = 0x278;
constexpr int32_t kFixedPlayingTimeMs = 150000;

inline uint16_t profile_port_base() { return kFixedPortBase; }
inline int32_t profile_playing_time_ms() { return kFixedPlayingTimeMs; }
// Every tune lasts the fixed time: no song lengths are looked up.
inline int32_t profile_tune_length_ms(const char*, uint8_t) { return kFixedPlayingTimeMs; }
inline void profile_tune_started(const char*, uint8_t) {}
inline bool profile_song_changed(int) { return false; }

// The timer sleeps 10 ms a round and counts one tick, up to 15000.
constexpr uint32_t kProfileTimerSleepMs = 10;
constexpr uint32_t kProfileTicksPerRound = 1;
constexpr uint32_t kFixedTrackTicks = 15000;
inline bool profile_track_over(uint32_t elapsed_ticks) { return elapsed_ticks >= kFixedTrackTicks; }
