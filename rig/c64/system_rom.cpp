#include "rig/c64/system_rom.h"

#include <array>
#include <cstddef>

#include "rig/c64/cpu6502.h"

namespace {

constexpr uint16_t kCia1Icr = 0xDC0D, kCia2Icr = 0xDD0D;
constexpr uint16_t kStackedStatus = 0x0104;  // after PHA, PHA, PHA: the P that the interrupt pushed

constexpr uint8_t lo(uint16_t v) { return static_cast<uint8_t>(v); }
constexpr uint8_t hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }

constexpr size_t kRomSize = 0x10000 - kKernalStart;

struct Piece {
    uint16_t at;
    std::array<uint8_t, 20> bytes;
    uint8_t length;
};

std::array<uint8_t, kRomSize> build() {
    std::array<uint8_t, kRomSize> rom;
    rom.fill(kJamOpcode);
    const Piece pieces[] = {
        // PHA TXA PHA TYA PHA TSX LDA $0104,X AND #$10 BEQ +3 JMP ($0316) JMP ($0314)
        {kRomIrqEntry, {0x48, 0x8A, 0x48, 0x98, 0x48, 0xBA, 0xBD, lo(kStackedStatus), hi(kStackedStatus),
                        0x29, kFlagB, 0xF0, 0x03, 0x6C, lo(kBrkRamVector), hi(kBrkRamVector),
                        0x6C, lo(kIrqRamVector), hi(kIrqRamVector)}, 19},
        // SEI JMP ($0318)
        {kRomNmiEntry, {0x78, 0x6C, lo(kNmiRamVector), hi(kNmiRamVector)}, 4},
        // PHA TXA PHA TYA PHA LDA $DD0D JMP $FEBC
        {kRomNmiHandler, {0x48, 0x8A, 0x48, 0x98, 0x48, 0xAD, lo(kCia2Icr), hi(kCia2Icr), 0x4C,
                          lo(kRomNmiReturn), hi(kRomNmiReturn)}, 11},
        // LDA $DC0D JMP $EA81
        {kRomIrqHandler, {0xAD, lo(kCia1Icr), hi(kCia1Icr), 0x4C, lo(kRomIrqReturn), hi(kRomIrqReturn)}, 6},
        // PLA TAY PLA TAX PLA RTI
        {kRomIrqReturn, {0x68, 0xA8, 0x68, 0xAA, 0x68, 0x40}, 6},
        {kRomNmiReturn, {0x68, 0xA8, 0x68, 0xAA, 0x68, 0x40}, 6},
        {kNmiVector, {lo(kRomNmiEntry), hi(kRomNmiEntry), lo(kRomReset), hi(kRomReset),
                      lo(kRomIrqEntry), hi(kRomIrqEntry)}, 6},
    };
    for (const Piece& p : pieces) {
        for (uint8_t i = 0; i < p.length; ++i) rom[p.at - kKernalStart + i] = p.bytes[i];
    }
    return rom;
}

}  // namespace

uint8_t system_rom_read(uint16_t address) {
    static const std::array<uint8_t, kRomSize> rom = build();
    return rom[static_cast<uint16_t>(address - kKernalStart)];
}
