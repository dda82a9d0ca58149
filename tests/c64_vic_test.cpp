// The VIC-II's raster counter and bad lines as the CPU sees them.
#include <gtest/gtest.h>

#include <vector>

#include "rig/c64/c64_machine.h"

namespace {

constexpr uint16_t kCodeAt = 0x1000;

void put(C64Machine& c64, uint16_t at, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) c64.set_ram(at++, b);
}

// Keeps the highest raster line above 255 that the CPU reads in $02.
uint8_t highest_line_past_255(C64Model model) {
    C64Machine c64(model);
    put(c64, kCodeAt, {
        0xAD, 0x11, 0xD0,  // loop: LDA $D011
        0x10, 0xFB,        //       BPL loop     (line < 256)
        0xAD, 0x12, 0xD0,  //       LDA $D012
        0xC5, 0x02,        //       CMP $02
        0x90, 0xF4,        //       BCC loop
        0x85, 0x02,        //       STA $02
        0x4C, 0x00, 0x10,  //       JMP loop
    });
    c64.start_at(kCodeAt);
    c64.run_for(3 * c64.frame_cycles());
    return c64.ram(0x02);
}

TEST(Vic, RasterReachesEachModelsLastLine) {
    EXPECT_EQ(highest_line_past_255(C64Model::Pal) + 256, 311);
    EXPECT_EQ(highest_line_past_255(C64Model::Ntsc) + 256, 262);
    EXPECT_EQ(highest_line_past_255(C64Model::PalN) + 256, 311);
    EXPECT_EQ(highest_line_past_255(C64Model::OldNtsc) + 256, 261);
    C64Machine c64;
    c64.run_for(0x33 * c64.cycles_per_line() + 5);
    EXPECT_EQ(c64.raster_line(), 0x33u);
}

// A CPU that counts loop passes in a frame with the screen on and off.
struct Counted {
    uint64_t stolen_per_frame;
    size_t passes_per_frame;
    uint16_t timer;  // CIA 1 timer A, started with the CPU
};
Counted run_frames(C64Model model, uint8_t control1, int frames) {
    C64Machine c64(model);
    put(c64, kCodeAt, {
        0xA9, control1,    // LDA #control1
        0x8D, 0x11, 0xD0,  // STA $D011
        0xE8,              // loop: INX
        0x4C, 0x05, 0x10,  //       JMP loop
    });
    c64.watch(kCodeAt + 5);
    c64.start_at(kCodeAt);
    c64.cia1().write(kCiaTimerALow, 0xFF);
    c64.cia1().write(kCiaTimerAHigh, 0xFF);
    c64.cia1().write(kCiaControlA, kControlStart | kControlForceLoad);
    c64.run_for(c64.frame_cycles());  // the first frame may start with DEN still clear
    const uint64_t stolen = c64.stolen_cycles();
    const size_t passes = c64.visits().size();
    c64.run_for(static_cast<uint64_t>(frames) * c64.frame_cycles());
    return Counted{(c64.stolen_cycles() - stolen) / frames, (c64.visits().size() - passes) / frames,
                   static_cast<uint16_t>(c64.cia1().read(kCiaTimerALow) | c64.cia1().read(kCiaTimerAHigh) << 8)};
}

TEST(Vic, BadLinesTakeTheBusOnlyWithTheScreenOn) {
    const Counted on = run_frames(C64Model::Pal, 0x1B, 10);  // DEN, 25 rows, YSCROLL 3
    EXPECT_EQ(on.stolen_per_frame, 25u * VicII::kBadLineBusCycles) << "25 bad lines of 43 cycles";
    const Counted off = run_frames(C64Model::Pal, 0x0B, 10);
    EXPECT_EQ(off.stolen_per_frame, 0u);
    EXPECT_NEAR(static_cast<double>(off.passes_per_frame), 19656 / 5.0, 2);
    EXPECT_NEAR(static_cast<double>(on.passes_per_frame), (19656 - 1075) / 5.0, 2)
        << "the CPU loses the stolen cycles";
    EXPECT_NEAR(on.timer, off.timer, 8) << "while the timers go on counting";
    EXPECT_EQ(run_frames(C64Model::Ntsc, 0x1B, 10).stolen_per_frame, 25u * VicII::kBadLineBusCycles);
}

// Which lines are bad: YSCROLL picks them, DEN counts only if seen in line
// $30, and only BA's falling edge in cycle 12 charges the CPU.
TEST(Vic, BadLinesFollowYScrollAndDenInLine30) {
    const C64Timing& pal = c64_timing(C64Model::Pal);
    auto at = [&](uint64_t frame, uint32_t line, uint32_t cycle) {
        return frame * pal.frame_cycles() + line * pal.cycles_per_line + cycle;
    };
    VicII vic(pal);
    vic.write(kVicControl1, 0x1D, 0);  // DEN, YSCROLL 5
    EXPECT_EQ(vic.bus_taken(at(0, 0x30, 0), at(0, 0x30, 4)), 0u);
    EXPECT_EQ(vic.bus_taken(at(0, 0x35, 8), at(0, 0x35, 12)), 43u) << "BA falls in cycle 12 (offset 11)";
    EXPECT_EQ(vic.bus_taken(at(0, 0x35, 11), at(0, 0x35, 15)), 0u) << "charged once";
    EXPECT_EQ(vic.bus_taken(at(0, 0x36, 8), at(0, 0x36, 12)), 0u);
    EXPECT_EQ(vic.bus_taken(at(0, 0xF5, 8), at(0, 0xF5, 12)), 43u);
    EXPECT_EQ(vic.bus_taken(at(0, 0xFD, 8), at(0, 0xFD, 12)), 0u) << "below the text area";
    vic.write(kVicControl1, 0x05, at(0, 0xFD, 20));  // blank after line $30: this frame goes on
    EXPECT_EQ(vic.bus_taken(at(0, 0x3D, 8), at(0, 0x3D, 12)), 43u);
    EXPECT_EQ(vic.bus_taken(at(1, 0x30, 0), at(1, 0x30, 6)), 0u);
    EXPECT_EQ(vic.bus_taken(at(1, 0x35, 8), at(1, 0x35, 12)), 0u) << "DEN clear all through line $30";
    vic.write(kVicControl1, 0x15, at(1, 0x40, 0));
    EXPECT_EQ(vic.bus_taken(at(1, 0x45, 8), at(1, 0x45, 12)), 0u) << "set too late for this frame";
    EXPECT_EQ(vic.bus_taken(at(2, 0x30, 60), at(2, 0x31, 3)), 0u);
    EXPECT_EQ(vic.bus_taken(at(2, 0x35, 8), at(2, 0x35, 12)), 43u);
    EXPECT_EQ(vic.read(kVicRaster, at(2, 0x135, 0)), 0x35);
    EXPECT_EQ(vic.read(kVicControl1, at(2, 0x135, 0)), 0x95);
    EXPECT_EQ(vic.read(kVicControl1 + 0x40, at(2, 0x35, 0)), 0x15) << "registers repeat every 64 bytes";
}

}  // namespace
