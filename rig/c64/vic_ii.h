// The VIC-II (6569 PAL, 6567R8 NTSC) as far as the CPU feels it: the raster
// counter and the bad lines on which the VIC takes the bus (the 6567/6569
// data sheets' display timing).
//
// Raster: line 0 starts at machine cycle 0; $D012 reads the line's low
// eight bits, $D011 bit 7 its ninth. A read sees the line of the cycle its
// instruction began in.
//
// Bad lines: a line from $30 to $F7 whose low three bits equal YSCROLL
// ($D011 bits 0-2) is a bad line, provided DEN ($D011 bit 4) was set at
// some point of line $30 in that frame. On a bad line BA goes low in cycle
// 12 and the VIC fetches 40 character pointers in cycles 15-54: the CPU is
// held for those 40 cycles plus the 3 of BA's lead time, 43 in all (the
// lead cycles would let a CPU finish up to three writes; that is not
// modelled). The CPU is modelled in whole instructions: an instruction that
// reaches cycle 12 of a bad line runs to its end, and the CPU then waits 43
// cycles, so the cycles the VIC takes are exact while the instant the CPU
// stops is off by up to an instruction. Timers and everything else keep
// running while the CPU waits.
//
// Not modelled: sprites (and the cycles their data fetches take), the
// raster interrupt and every other interrupt source, the display itself,
// the light pen, and the quirks of changing YSCROLL or DEN mid-line. All
// registers except $D011/$D012 are plain storage (repeating every 64
// bytes in $D000-$D3FF; $D02F-$D03F read $FF).
#pragma once

#include <cstdint>

#include "rig/c64/c64_timing.h"

enum : uint8_t {
    kVicControl1 = 0x11,  // $D011
    kVicRaster = 0x12,    // $D012
};

enum : uint8_t {
    kControl1YScroll = 0x07,
    kControl1Rows25 = 0x08,
    kControl1Den = 0x10,         // display enable
    kControl1RasterBit8 = 0x80,  // read: raster line bit 8
};

class VicII {
public:
    static constexpr uint32_t kBadLineBusCycles = 3 + 40;

    explicit VicII(const C64Timing& timing) : timing_(timing) {}

    uint8_t read(uint8_t reg, uint64_t cycle) const;
    void write(uint8_t reg, uint8_t value, uint64_t cycle);

    uint32_t raster_line(uint64_t cycle) const {
        return static_cast<uint32_t>(cycle % timing_.frame_cycles() / timing_.cycles_per_line);
    }
    // Time ran from `from` to `to` (an instruction, or the machine idling).
    // Returns the cycles the CPU must now wait: kBadLineBusCycles if the VIC
    // took the bus for a bad line in that span, else 0. Spans of more than
    // a few lines are only watched for DEN, never charged.
    uint32_t bus_taken(uint64_t from, uint64_t to);

private:
    bool bad_line(uint64_t frame, uint32_t line) const;
    void watch_den(uint64_t from, uint64_t to);

    const C64Timing& timing_;
    uint8_t registers_[0x40] = {};
    uint64_t den_frame_ = ~0ull;  // the last frame whose line $30 saw DEN set
};
