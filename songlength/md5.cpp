#include "songlength/md5.h"

#include <cstring>

namespace {

// Per-step shifts, four per round.
const uint8_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// floor(abs(sin(i + 1)) * 2^32), written out: the DLLs have no maths library.
const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

uint32_t rotate_left(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

void put_le32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

void transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = block[4 * i] | static_cast<uint32_t>(block[4 * i + 1]) << 8 |
               static_cast<uint32_t>(block[4 * i + 2]) << 16 |
               static_cast<uint32_t>(block[4 * i + 3]) << 24;
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    // One loop per round, so no step decides which round it is in.
    auto step = [&](uint32_t i, uint32_t f, uint32_t g) {
        const uint32_t next = b + rotate_left(a + f + kSine[i] + m[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    };
    for (uint32_t i = 0; i < 16; ++i) step(i, (b & c) | (~b & d), i);
    for (uint32_t i = 16; i < 32; ++i) step(i, (d & b) | (~d & c), (5 * i + 1) % 16);
    for (uint32_t i = 32; i < 48; ++i) step(i, b ^ c ^ d, (3 * i + 5) % 16);
    for (uint32_t i = 48; i < 64; ++i) step(i, c ^ (b | ~d), (7 * i) % 16);
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void md5_digest(const uint8_t* data, uint32_t size, uint8_t digest[kMd5Size]) {
    uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    uint32_t done = 0;
    for (; size - done >= 64; done += 64) transform(state, data + done);
    // The tail, the 0x80 marker and the bit count fill one or two last blocks.
    uint8_t tail[128] = {};
    const uint32_t rest = size - done;
    if (rest != 0) std::memcpy(tail, data + done, rest);
    tail[rest] = 0x80;
    const uint32_t tail_size = rest < 56 ? 64 : 128;
    put_le32(tail + tail_size - 8, size << 3);
    put_le32(tail + tail_size - 4, size >> 29);
    transform(state, tail);
    if (tail_size == 128) transform(state, tail + 64);
    for (int i = 0; i < 4; ++i) put_le32(digest + 4 * i, state[i]);
}
