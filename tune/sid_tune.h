// One PSID tune as the plug-in sees it: entry addresses, song counts, texts,
// the source path, and the C64 memory image exactly as it must stand in the
// C64. Plain C-compatible record; instances are static, never on the heap.
#pragma once

#include <cstdint>

enum : uint32_t {
    kSidImageSize = 65536,   // the whole C64 address space
    kSidTextLength = 32,     // name, author, copyright in the header
    kSidPathLength = 2048,   // longest path kept in a tune
};

struct SidTune {
    uint16_t load_address;   // C64 address of image[0]
    uint16_t init_address;   // called with the song index to start a song
    uint16_t play_address;   // called repeatedly while a song plays
    uint8_t songs;           // number of sub-songs; 0 = nothing playable
    uint8_t start_song;      // 1-based song to start with
    // image[i] belongs at load_address + i. From index `length` on it is all
    // zero, unless the image reaches the top of memory (load_address + length
    // = 65536), where a trimmed tail may follow; the loader relies on this
    // to clear a record quickly, so whoever fills a record keeps to it.
    uint8_t image[kSidImageSize];
    uint16_t length;         // image bytes to send over the cable
    char name[kSidTextLength + 1];
    char author[kSidTextLength + 1];
    char copyright[kSidTextLength + 1];
    char path[kSidPathLength + 1];
};

// Why a load ended the way it did. The record itself only says "songs == 0";
// this tells a user (and the inspector) which rule refused the tune.
enum class SidVerdict : uint8_t {
    Accepted,
    Unreadable,          // the file could not be opened
    Empty,               // zero bytes read
    TooLarge,            // 64 KiB or more
    LoadBelowMinimum,    // load address below $03F0 (receiver and zero page)
    PlayInIoArea,        // play address in $D000-$DFFF
    InitInIoArea,        // init address in $D000-$DFFF
    InitBeyondImage,     // init address past the end of the image
    NoPlayAddress,       // play address 0: tune brings its own interrupt
    LoadsAtBasicStart,   // load address $0801: a BASIC program, not a tune
    TouchesCia2,         // image holds $0E $DD, the address $DD0E of CIA 2
};

// The verdict together with the values the refusing rule looked at (for a
// refused tune the record is cleared, so these are the only trace of them).
struct SidLoadReport {
    SidVerdict verdict;
    uint16_t load_address;
    uint16_t init_address;
    uint16_t play_address;
    uint16_t length;
};

// Stable short name of a verdict, e.g. "init-in-io"; never null.
const char* sid_verdict_name(SidVerdict verdict);
// One line a user understands, e.g. "init address lies in the I/O area".
const char* sid_verdict_text(SidVerdict verdict);

void sid_tune_clear(SidTune& tune);

// Reads the file at `path` (at most 64 KiB, in one read into a static buffer)
// into `tune`. A refused or unreadable file leaves the tune with 0 songs.
// Not reentrant: the file buffer is shared by every call.
SidLoadReport sid_tune_load(const char* path, SidTune& tune);

// The part of the load that works on bytes already read: `file` holds `size`
// bytes (size < 65536). Nothing beyond file[size - 1] is ever read. `path`
// may be null (then no path is stored).
SidLoadReport sid_tune_load_bytes(const uint8_t* file, uint32_t size,
                                  const char* path, SidTune& tune);

// The host's quick routing test: 1 when the file starts with "PSID".
int sid_is_our_file(const char* path);
