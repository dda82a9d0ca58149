// The song-length database as the collection ships it: a text file with a
// "[Database]" section of lines "<32 hex digits of a tune's MD5>=<time> ...",
// one time per sub-song ("m:ss" or "m:ss.SSS", an attribute in brackets
// after a time ignored), ';' comment lines, CR LF or LF line ends.
//
// The index keeps, per entry, the first 8 bytes of the MD5 and where the
// entry's line starts in the caller's text; it is sorted once, so a lookup
// is a binary search plus a check of the full MD5 against the line. Times
// are read from the line only when asked for. The caller owns the text and
// the index storage, so nothing here allocates.
#pragma once

#include <cstdint>

#include "songlength/md5.h"

struct SongLengthEntry {  // three words, no padding on any ABI
    uint32_t key_high;    // MD5 bytes 0..3, big-endian
    uint32_t key_low;     // MD5 bytes 4..7
    uint32_t offset;      // where the entry's 32 hex digits start in the text
};

struct SongLengthIndex {
    const char* text;
    uint32_t size;
    SongLengthEntry* entries;
    uint32_t count;
    uint32_t dropped;  // valid entries beyond the storage's capacity, not indexed
};

// How many entries a process indexes: about 2.5 times the collection's
// count today, in 1.8 MB of fixed storage.
constexpr uint32_t kSongLengthIndexCapacity = 150000;

// Nothing found.
constexpr int32_t kNoSongLengthEntry = -1;

// Indexes `text` (which must outlive the index) into `storage`. Lines before
// a "[Database]" line, in another section, or not of the entry form are
// passed over; a text without "[Database]" yields no entries.
void song_length_index_build(SongLengthIndex& index, const char* text, uint32_t size,
                             SongLengthEntry* storage, uint32_t capacity);

// The entry of a tune, by its MD5: the first one in the text where there are
// duplicates; kNoSongLengthEntry when there is none.
int32_t song_length_find(const SongLengthIndex& index, const uint8_t md5[kMd5Size]);

// Sub-song `song`'s (1-based) length in ms from the entry, 0 when the entry
// has no well-formed time for it (or the time is 0:00).
uint32_t song_length_ms(const SongLengthIndex& index, int32_t entry, uint32_t song);
