// Any file, however malformed, must end as a cleared tune or an accepted one
// that keeps the record's promises, never as a crash or a stray access.
#include <cstdint>
#include <cstdlib>
#include <cstring>

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
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= kSidImageSize) return -1;
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
