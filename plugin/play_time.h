// The play-time timer's arithmetic: elapsed ticks are 10 ms units, advanced
// by 20 per round of a 199 ms sleep.
#pragma once

#include <cstdint>

constexpr uint32_t kTickMs = 10;
constexpr uint32_t kTimerSleepMs = 199;
constexpr uint32_t kTicksPerRound = 20;

// The tick count at which a track of `playing_time_ms` is over.
inline int64_t play_time_limit_ticks(int32_t playing_time_ms) {
    return playing_time_ms / static_cast<int32_t>(kTickMs);
}

inline bool play_time_over(uint32_t elapsed_ticks, int32_t playing_time_ms) {
    return static_cast<int64_t>(elapsed_ticks) >= play_time_limit_ticks(playing_time_ms);
}

// The seek bar: one second per sub-song.
inline int32_t seek_song_index(int32_t ms) { return ms / 1000; }
inline int32_t tune_length_ms(uint8_t songs) { return songs * 1000 - 1; }
