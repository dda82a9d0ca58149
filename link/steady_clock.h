// Milliseconds for the link's bounded waits, from the C++ steady clock
// (portable tools and tests; the DLLs use the system tick count instead).
#pragma once

#include <chrono>
#include <cstdint>

struct SteadyClock {
    uint32_t now_ms() const {
        using namespace std::chrono;
        return static_cast<uint32_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
};
