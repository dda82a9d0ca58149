// The settings, one static instance, read in place by whoever needs
// them. The playing time is also read by the play-time timer thread while
// the configuration dialog may change it, hence atomic (relaxed: a stale
// value only moves the end of a track by one timer round).
#pragma once

#include <atomic>
#include <cstdint>

// The Configuration dialog's port list, in its order; the first is the default.
constexpr uint16_t kOfferedPorts[] = {0x378, 0x278, 0x3BC};
constexpr int32_t kDefaultPlayingTimeMs = 150000;  // 2:30
constexpr uint32_t kSettingsPathLength = 259;

struct Settings {
    uint16_t port_base = kOfferedPorts[0];
    std::atomic<int32_t> playing_time_ms{kDefaultPlayingTimeMs};
    uint32_t driver_flag = 0;  // nonzero: only open the port driver, never install it
    uint32_t song_lengths = 1;  // 0: every track lasts the playing time, nothing is looked up
    // The song-length database to use instead of looking for the collection's; "" = look.
    char song_lengths_file[kSettingsPathLength + 1] = "";
};

extern Settings g_settings;
