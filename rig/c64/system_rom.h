// A stand-in for the C64's system ROMs: our own few instructions at the
// places where programs and interrupts enter the KERNAL, and an opcode that
// jams the CPU everywhere else, so that a tune calling into the ROM is seen
// instead of silently running code we do not have. Not a copy of any ROM.
//
//   $FFFE IRQ/BRK -> $FF48: push A, X, Y; JMP ($0316) if the pushed status
//                    has B set, else JMP ($0314)
//   $FFFA NMI     -> $FE43: SEI; JMP ($0318)
//   $0314 default    $EA31: acknowledge CIA 1 (read $DC0D); JMP $EA81
//                    $EA81: pull Y, X, A; RTI
//   $0318 default    $FE47: push A, X, Y; read $DD0D; JMP $FEBC
//                    $FEBC: pull Y, X, A; RTI
//   $0316 default    $FE66 (BRK: the real ROM's warm start) jams, as does
//   $FFFC reset   -> $FCE2: reset is not modelled.
// The KERNAL's keyboard scan, clock and cursor work in its IRQ handler are
// left out: the handler only acknowledges the interrupt.
#pragma once

#include <cstdint>

constexpr uint16_t kKernalStart = 0xE000;
constexpr uint16_t kBasicStart = 0xA000, kBasicEnd = 0xC000;
constexpr uint8_t kJamOpcode = 0x02;

enum : uint16_t {
    kRomIrqHandler = 0xEA31,  // the KERNAL's own IRQ handler, $0314's default
    kRomIrqReturn = 0xEA81,
    kRomReset = 0xFCE2,
    kRomNmiEntry = 0xFE43,
    kRomNmiHandler = 0xFE47,  // $0318's default
    kRomBrkHandler = 0xFE66,  // $0316's default
    kRomNmiReturn = 0xFEBC,
    kRomIrqEntry = 0xFF48,
};

// The RAM vectors the ROM's entries jump through.
enum : uint16_t {
    kIrqRamVector = 0x0314,
    kBrkRamVector = 0x0316,
    kNmiRamVector = 0x0318,
};

// The byte the stand-in shows at `address` ($E000-$FFFF).
uint8_t system_rom_read(uint16_t address);
