// Milliseconds for the link's bounded waits in the DLLs. GetTickCount reads
// a counter the system keeps in shared memory, and the link looks at it only
// every few thousand polls, so it adds nothing measurable to the handshake.
#pragma once

#include <windows.h>

#include <cstdint>

struct TickClock {
    uint32_t now_ms() const { return GetTickCount(); }
};
