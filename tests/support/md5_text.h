// An MD5 as the song-length database writes it: 32 lower-case hex digits.
// For tests and the benchmark, which build databases of their own.
#pragma once

#include <cstdint>
#include <string>

#include "songlength/md5.h"

inline std::string md5_text(const uint8_t md5[kMd5Size]) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint32_t i = 0; i < kMd5Size; ++i) {
        out += digits[md5[i] >> 4];
        out += digits[md5[i] & 15];
    }
    return out;
}
