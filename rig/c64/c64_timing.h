// The C64 models' clocks and screen geometry, one constant per fact.
// Clocks: the PAL machine divides its 17.734475 MHz crystal by 18, the NTSC
// one its 14.31818 MHz crystal by 14, the PAL-N one (sold in South
// America) its crystal of about 14.33 MHz by 14. Geometry: the 6569 (PAL)
// draws 312 lines of 63 cycles, the 6567R8 (NTSC) 263 lines of 65 cycles,
// the 6572 (PAL-N) 312 lines of 65 cycles and the first NTSC chip, the
// 6567R56A, 262 lines of 64 cycles.
#pragma once

#include <cstdint>

enum class C64Model { Pal, Ntsc, PalN, OldNtsc };

constexpr uint32_t kPalClockHz = 985248;
constexpr uint32_t kNtscClockHz = 1022727;
constexpr uint32_t kPalLinesPerFrame = 312;
constexpr uint32_t kPalCyclesPerLine = 63;
constexpr uint32_t kNtscLinesPerFrame = 263;
constexpr uint32_t kNtscCyclesPerLine = 65;
constexpr uint32_t kPalNClockHz = 1023440;
constexpr uint32_t kOldNtscLinesPerFrame = 262;
constexpr uint32_t kOldNtscCyclesPerLine = 64;
constexpr uint32_t kPalFrameCycles = kPalLinesPerFrame * kPalCyclesPerLine;     // 19656
constexpr uint32_t kNtscFrameCycles = kNtscLinesPerFrame * kNtscCyclesPerLine;  // 17095

// The mains frequency of the countries each model was sold in; it drives
// the CIAs' time-of-day clocks.
constexpr uint32_t kPalMainsHz = 50;
constexpr uint32_t kNtscMainsHz = 60;

// The CIA 1 timer A latch the system ROM sets for its 60 Hz interrupt.
constexpr uint16_t kPalSystemTimerLatch = 0x4025;
constexpr uint16_t kNtscSystemTimerLatch = 0x4295;

struct C64Timing {
    uint32_t clock_hz;
    uint32_t cycles_per_line;
    uint32_t lines_per_frame;
    uint32_t mains_hz;
    uint16_t system_timer_latch;
    uint32_t frame_cycles() const { return cycles_per_line * lines_per_frame; }
};

inline const C64Timing& c64_timing(C64Model model) {
    static const C64Timing pal{kPalClockHz, kPalCyclesPerLine, kPalLinesPerFrame, kPalMainsHz,
                               kPalSystemTimerLatch};
    static const C64Timing ntsc{kNtscClockHz, kNtscCyclesPerLine, kNtscLinesPerFrame, kNtscMainsHz,
                                kNtscSystemTimerLatch};
    // PAL-N machines run the PAL system ROM on the NTSC line length.
    static const C64Timing pal_n{kPalNClockHz, kNtscCyclesPerLine, kPalLinesPerFrame, kPalMainsHz,
                                 kPalSystemTimerLatch};
    static const C64Timing old_ntsc{kNtscClockHz, kOldNtscCyclesPerLine, kOldNtscLinesPerFrame,
                                    kNtscMainsHz, kNtscSystemTimerLatch};
    switch (model) {
    case C64Model::Ntsc: return ntsc;
    case C64Model::PalN: return pal_n;
    case C64Model::OldNtsc: return old_ntsc;
    case C64Model::Pal: break;
    }
    return pal;
}
