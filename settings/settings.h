// The three settings, one static instance, read in place by whoever needs
// them. The playing time is also read by the play-time timer thread while
// the configuration dialog may change it, hence atomic (relaxed: a stale
// value only moves the end of a track by one timer round).
#pragma once

#include <atomic>
#include <cstdint>

// The Configuration dialog's port list, in its order; the first is the default.
constexpr uint16_t kOfferedPorts[] = {0x378, 0x278, 0x3BC};
constexpr int32_t kDefaultPlayingTimeMs = 150000;  // 2:30

struct Settings {
    uint16_t port_base = kOfferedPorts[0];
    std::atomic<int32_t> playing_time_ms{kDefaultPlayingTimeMs};
    uint32_t driver_flag = 0;  // nonzero: only open the port driver, never install it
};

extern Settings g_settings;
