// Where the loader finds things in a PSID file header. All multi-byte
// header values are big-endian. Only the fields below are read: the
// version (offset 4), the speed word (18-21) and everything after the
// copyright text play no part in getting a tune onto the C64.
#pragma once

#include <cstdint>

namespace psid {

constexpr char kMagic[4] = {'P', 'S', 'I', 'D'};
constexpr uint32_t kMagicOffset = 0;

// Data offset: a 16-bit field at 6, of which only the low byte is used.
constexpr uint32_t kDataOffsetLow = 7;
constexpr uint32_t kLoadAddress = 8;    // 0 = first two data bytes hold it (LE)
constexpr uint32_t kInitAddress = 10;
constexpr uint32_t kPlayAddress = 12;
constexpr uint32_t kSongsLow = 15;      // low byte of the song count at 14
constexpr uint32_t kStartSongLow = 17;  // low byte of the start song at 16
constexpr uint32_t kName = 22;
constexpr uint32_t kAuthor = 54;
constexpr uint32_t kCopyright = 86;

}  // namespace psid

// C64 facts behind the acceptance rules.
namespace c64 {

constexpr uint32_t kMinLoadAddress = 0x03F0;  // below: zero page, stack, receiver
constexpr uint32_t kIoFirst = 0xD000;         // VIC, SID, colour RAM, CIAs
constexpr uint32_t kIoLast = 0xDFFF;
constexpr uint32_t kBasicStart = 0x0801;      // a BASIC program, not a tune
// $DD0E is timer A control of CIA 2, the chip that carries the cable. An
// image holding that address (little-endian: $0E $DD) is taken as a tune
// that would reprogram it under the receiver, and is refused.
constexpr uint8_t kCia2ControlLow = 0x0E;
constexpr uint8_t kCia2ControlHigh = 0xDD;

// Tunes whose init routine is at $20B0 get the JSR opcode ($20) at $20B5
// turned into a JMP ($4C) before they are sent.
constexpr uint32_t kPatchInit = 0x20B0;
constexpr uint32_t kPatchAddress = 0x20B5;
constexpr uint8_t kPatchFrom = 0x20;
constexpr uint8_t kPatchTo = 0x4C;

}  // namespace c64
