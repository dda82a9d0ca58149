// A stand-in for the C64's system ROMs: our own routines at the places where
// programs and interrupts enter the KERNAL, doing to RAM and I/O what the
// real routines are documented to do there, and an opcode that jams the CPU
// everywhere else, so that a tune calling into the ROM is seen instead of
// silently running code we do not have. Not a copy of any ROM: the routines
// are written here from the published descriptions of KERNAL 901227-03
// (entry names and addresses as in its public commented disassembly).
//
//   $FFFE IRQ/BRK -> $FF48: push A, X, Y; JMP ($0316) if the pushed status
//                    has B set, else JMP ($0314)
//   $FFFA NMI     -> $FE43: SEI; JMP ($0318)
//   $0314 default    $EA31: UDTIM, cursor blink, cassette interlock, SCNKEY,
//                    then $EA7E: acknowledge CIA 1 (read $DC0D);
//                    $EA81: pull Y, X, A; RTI
//   $0318 default    $FE47: push A, X, Y; $DD0D = $7F; read $DD0D; RESTORE:
//                    the STOP key's row; the RS-232 branch when the sources
//                    meet ENABL; $DD0D = ENABL; $FEBC: pull Y, X, A; RTI
//   $028F default    $EB48: the key decode, back through $EAE0
//   $0316 default    $FE66 (BRK: the real ROM's warm start) jams, as does
//   $FFFC reset   -> $FCE2: reset is not modelled.
//
// What the stand-in leaves out (each a place where a tune relying on it
// jams or sees less than on a real C64):
// - on RESTORE, the autostart cartridge check ("CBM80" at $8004) and the
//   call of STOP through ($0328) that warm-starts BASIC when RUN/STOP is
//   held;
// - the RS-232 service itself: the branch is taken (at kRomNmiRs232) when
//   CIA 2's source bits meet ENABL in bits 0, 1 or 4, but the bit-level
//   work it does on the RS-232 variables ($A7-$AB, $B4-$B6, $BD,
//   $0293-$02A0), CIA 2's port A and timers and ENABL is not done;
// - the shifted, Commodore and CTRL key tables and the SHIFT + Commodore
//   character set switch: the key decode knows only the unshifted keys;
// - every other KERNAL and BASIC routine.
#pragma once

#include <cstdint>

constexpr uint16_t kKernalStart = 0xE000;
constexpr uint16_t kBasicStart = 0xA000, kBasicEnd = 0xC000;
constexpr uint8_t kJamOpcode = 0x02;

enum : uint16_t {
    kRomIrqHandler = 0xEA31,  // the KERNAL's own IRQ handler, $0314's default
    kRomIrqAcknowledge = 0xEA7E,
    kRomIrqReturn = 0xEA81,
    kRomScanKeyboard = 0xEA87,  // SCNKEY
    kRomKeyStore = 0xEAE0,      // where a key decode routine returns to
    kRomKeyDecode = 0xEB48,     // $028F's default
    kRomUpdateClock = 0xF69B,   // UDTIM
    kRomStopScan = 0xF6BC,
    kRomReset = 0xFCE2,
    kRomNmiEntry = 0xFE43,
    kRomNmiHandler = 0xFE47,  // $0318's default
    kRomBrkHandler = 0xFE66,  // $0316's default
    kRomNmiReturn = 0xFEBC,
    kRomIrqEntry = 0xFF48,
    kRomNmiRs232 = 0xE320,    // ours: where the RS-232 branch is taken
};

// The RAM vectors the ROM's entries jump through.
enum : uint16_t {
    kIrqRamVector = 0x0314,
    kBrkRamVector = 0x0316,
    kNmiRamVector = 0x0318,
};

// The byte the stand-in shows at `address` ($E000-$FFFF).
uint8_t system_rom_read(uint16_t address);

// The KERNAL's RAM variables as a program finds them after RUN, which the
// stand-in's routines work on.
struct RamValue {
    uint16_t address;
    uint8_t value;
};
const RamValue* system_rom_run_state(uint32_t& count);

// Keyboard matrix positions (column * 8 + row: the column driven low on
// $DC00, the row read low on $DC01) of a few keys, for the held-key option.
enum : uint8_t {
    kKeyReturn = 0 * 8 + 1,
    kKeyA = 1 * 8 + 2,
    kKeySpace = 7 * 8 + 4,
};
