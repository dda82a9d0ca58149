// The play session: what the host's transport buttons do, and the state the
// session shares with its two worker threads. All slots run on the host's
// main thread, one at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "plugin/winamp_records.h"
#include "tune/sid_tune.h"

constexpr uint32_t kCurrentPathLength = 259;

extern InModule g_module;
extern SidTune g_playing_tune;
extern char g_current_path[kCurrentPathLength + 1];

// Words shared with the worker threads, each written by one thread at a time.
extern std::atomic<int32_t> g_progress_count;  // main thread writes, monitor reads
// Timer counts on; the main thread resets it at play and, for a tune timed
// per sub-song, at a sub-song change.
extern std::atomic<uint32_t> g_elapsed_ticks;
// The turn of the one timer that may run (0: none). A timer whose turn it no
// longer is ends without a word to the host. Main thread writes, timers read.
extern std::atomic<uint32_t> g_timer_turn;

int session_play(const char* path);
void session_stop();
void session_pause();
void session_unpause();
int session_is_paused();
int session_get_length();
int session_get_output_time();
void session_set_output_time(int ms);
void session_set_volume(int volume);
void session_set_pan(int pan);
void session_quit();
