// The session's two worker threads.
#pragma once

#include <windows.h>

#include <cstdint>

// Shows the transfer progress until the progress count reaches the playing
// tune's length; asks the user when the count stands still too long.
HANDLE progress_monitor_start();
// The upload has ended: the monitor need not finish its current pause.
void progress_monitor_transfer_over();

// Counts the playing time and ends the track when it is over, for as long
// as g_timer_turn holds `turn`.
HANDLE play_timer_start(uint32_t turn);
