// Song lengths from the collection's database, as the full build uses them
// (song_lengths.cpp: finding the database, reading it, keeping it fresh).
// Everything but the timer's word runs on the host's main thread.
#pragma once

#include <atomic>
#include <cstdint>

// The playing sub-song's length for the play-time timer, 0 where the
// database has none (the configured playing time then applies). Written by
// the main thread at play and at a sub-song change, read by the timer.
extern std::atomic<int32_t> g_song_length_ms;

// Sub-song `song`'s (1-based) length in ms for the tune file at `path`,
// from the database of its collection; 0 when there is none to be had.
uint32_t song_lengths_lookup(const char* path, uint32_t song);

// At play: keeps the tune's own lengths for the session, so later changes
// of the database file do not reach the playing track.
void song_lengths_take_tune(const char* path);
// At play and at a sub-song change: sets g_song_length_ms for `song`. True
// when the tune has an entry, i.e. its time counts per sub-song.
bool song_lengths_select(uint32_t song);
