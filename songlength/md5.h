// MD5 (RFC 1321): the song-length database names every tune by the MD5 of
// its whole file, header included.
#pragma once

#include <cstdint>

constexpr uint32_t kMd5Size = 16;

// The digest of `size` bytes in one go: tunes are read whole anyway.
void md5_digest(const uint8_t* data, uint32_t size, uint8_t digest[kMd5Size]);
