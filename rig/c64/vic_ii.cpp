#include "rig/c64/vic_ii.h"

namespace {
constexpr uint32_t kFirstBadLine = 0x30, kLastBadLine = 0xF7;
constexpr uint32_t kBaFallsAt = 11;  // cycle 12 of the line, counted from 1
constexpr uint8_t kRegisterMask = 0x3F;
constexpr uint8_t kFirstUnusedRegister = 0x2F;
constexpr uint8_t kUnusedReadsAs = 0xFF;
}  // namespace

uint8_t VicII::read(uint8_t reg, uint64_t cycle) const {
    reg &= kRegisterMask;
    const uint32_t line = raster_line(cycle);
    if (reg == kVicRaster) return static_cast<uint8_t>(line);
    if (reg == kVicControl1) {
        return static_cast<uint8_t>((registers_[reg] & ~kControl1RasterBit8) | (line > 0xFF ? kControl1RasterBit8 : 0));
    }
    if (reg >= kFirstUnusedRegister) return kUnusedReadsAs;
    return registers_[reg];
}

void VicII::write(uint8_t reg, uint8_t value, uint64_t cycle) {
    reg &= kRegisterMask;
    registers_[reg] = value;
    if (reg == kVicControl1) watch_den(cycle, cycle);
}

bool VicII::bad_line(uint64_t frame, uint32_t line) const {
    return den_frame_ == frame && line >= kFirstBadLine && line <= kLastBadLine &&
           (line & kControl1YScroll) == (registers_[kVicControl1] & kControl1YScroll);
}

// DEN counts for a frame if it is set while any part of that frame's line
// $30 passes; the span is checked against the line $30 of its last frame
// and of the frame before.
void VicII::watch_den(uint64_t from, uint64_t to) {
    if (!(registers_[kVicControl1] & kControl1Den)) return;
    const uint64_t frame_cycles = timing_.frame_cycles();
    const uint64_t last_frame = to / frame_cycles;
    for (uint64_t frame = last_frame + 1; frame-- > 0 && frame + 2 > last_frame;) {
        const uint64_t line_start = frame * frame_cycles + kFirstBadLine * timing_.cycles_per_line;
        const uint64_t line_end = line_start + timing_.cycles_per_line;
        if (to >= line_start && from < line_end) {
            den_frame_ = frame;
            return;
        }
    }
}

uint32_t VicII::bus_taken(uint64_t from, uint64_t to) {
    watch_den(from, to);
    const uint64_t line_cycles = timing_.cycles_per_line;
    if (to - from > 2 * line_cycles) return 0;
    // BA falls at most once in a span this short: in the line of `to` or
    // the one before it.
    for (uint64_t line_index = to / line_cycles + 1; line_index-- > 0 && line_index + 2 > to / line_cycles;) {
        const uint64_t ba_falls = line_index * line_cycles + kBaFallsAt;
        if (ba_falls <= from || ba_falls > to) continue;
        const uint64_t frame = ba_falls / timing_.frame_cycles();
        if (bad_line(frame, raster_line(ba_falls))) return kBadLineBusCycles;
    }
    return 0;
}
