// The full build: settings from the registry, the progress monitor, the
// play-time timer counting the configured time.
#pragma once

#include <cstdint>

#include "link/c64_link.h"
#include "plugin/play_time.h"
#include "port/port_route.h"
#include "settings/settings.h"
#include "songlength/song_lengths.h"

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

// A length from the song-length database where it has one, else the playing time.
inline int32_t profile_length_or_playing_time(uint32_t song_length_ms) {
    return song_length_ms != 0 ? static_cast<int32_t>(song_length_ms) : profile_playing_time_ms();
}

// What the playlist shows for a tune: its start song's length.
inline int32_t profile_tune_length_ms(const char* path, uint8_t start_song) {
    return profile_length_or_playing_time(song_lengths_lookup(path, start_song));
}

// The playing tune's lengths are taken at play; each sub-song's own becomes
// the timer's limit. True when the tune's time counts per sub-song, so a
// change starts the new song's time afresh.
inline void profile_tune_started(const char* path, uint8_t start_song) {
    song_lengths_take_tune(path);
    song_lengths_select(start_song);
}
inline bool profile_song_changed(int song_number) {
    return song_lengths_select(static_cast<uint32_t>(song_number));
}

// The timer sleeps 199 ms a round and counts 20 ticks of 10 ms; the limit is
// read afresh each round, so the dialog's change applies to the running
// track (where it has no length of its own) and a sub-song's length at once.
constexpr uint32_t kProfileTimerSleepMs = kTimerSleepMs;
constexpr uint32_t kProfileTicksPerRound = kTicksPerRound;
inline bool profile_track_over(uint32_t elapsed_ticks) {
    return play_time_over(elapsed_ticks, profile_length_or_playing_time(static_cast<uint32_t>(
                                             g_song_length_ms.load(std::memory_order_relaxed))));
}
