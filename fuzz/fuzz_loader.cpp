// Any file, however malformed, must end as a cleared tune or an accepted one
// that keeps the record's promises, never as a crash or a stray access. The
// same bytes, taken for a song-length database, must index without a stray
// access and give back every entry it indexed with sane times.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "songlength/song_length_db.h"
#include "tune/sid_tune.h"

namespace {
SidTune g_tune;

const uint8_t kZeros[kSidImageSize] = {};

// One library compare, not an instrumented loop: it runs for every input.
bool image_zero_from(uint32_t index) {
    return std::memcmp(g_tune.image + index, kZeros, kSidImageSize - index) == 0;
}

bool texts_terminated(const SidTune& t) {
    return std::memchr(t.name, 0, sizeof t.name) && std::memchr(t.author, 0, sizeof t.author) &&
           std::memchr(t.copyright, 0, sizeof t.copyright) && std::memchr(t.path, 0, sizeof t.path);
}
SongLengthEntry g_entries[4096];

int hex_value(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

void check_song_lengths(const uint8_t* data, uint32_t size) {
    SongLengthIndex index;
    song_length_index_build(index, reinterpret_cast<const char*>(data), size, g_entries,
                            sizeof g_entries / sizeof g_entries[0]);
    for (uint32_t i = 0; i < index.count; ++i) {
        const char* hex = index.text + index.entries[i].offset;
        uint8_t md5[kMd5Size];
        for (uint32_t b = 0; b < kMd5Size; ++b)
            md5[b] = static_cast<uint8_t>(hex_value(hex[2 * b]) << 4 | hex_value(hex[2 * b + 1]));
        const int32_t found = song_length_find(index, md5);
        // The first of equal hashes holds: never a later one than this.
        if (found < 0 || index.entries[found].offset > index.entries[i].offset) std::abort();
        for (uint32_t song = 1; song <= 4; ++song)
            if (song_length_ms(index, static_cast<int32_t>(i), song) > 9999u * 60000u + 59999u)
                std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= kSidImageSize) return -1;
    check_song_lengths(data, static_cast<uint32_t>(size));
    const SidLoadReport report =
        sid_tune_load_bytes(data, static_cast<uint32_t>(size), "fuzz.sid", g_tune);
    if (!texts_terminated(g_tune)) std::abort();
    if (report.verdict != SidVerdict::Accepted) {
        if (g_tune.songs != 0 || g_tune.length != 0 || g_tune.load_address != 0) std::abort();
        if (!image_zero_from(0)) std::abort();
        return 0;
    }
    if (g_tune.length > kSidImageSize - g_tune.load_address) std::abort();
    // Nothing of an earlier input past the length, except a trimmed tail.
    if (g_tune.load_address + g_tune.length < kSidImageSize && !image_zero_from(g_tune.length))
        std::abort();
    if (g_tune.load_address < 0x03F0 || g_tune.play_address == 0) std::abort();
    for (uint32_t i = 0; i + 1 < g_tune.length; ++i)
        if (g_tune.image[i] == 0x0E && g_tune.image[i + 1] == 0xDD) std::abort();
    return 0;
}
