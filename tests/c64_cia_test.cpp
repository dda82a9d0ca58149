// The CIA and the cable as the receiver depends on them.
#include <gtest/gtest.h>

#include "rig/c64/cia6526.h"
#include "rig/c64/parallel_cable.h"

namespace {

void start_timer_a(Cia6526& cia, uint16_t latch, uint8_t control) {
    cia.write(kCiaTimerALow, static_cast<uint8_t>(latch));
    cia.write(kCiaTimerAHigh, static_cast<uint8_t>(latch >> 8));
    cia.write(kCiaControlA, control);
}

TEST(Cia, ContinuousTimerUnderflowsEveryLatchPlusOneCycles) {
    Cia6526 cia;
    start_timer_a(cia, 99, 0x11);
    cia.advance(99);
    EXPECT_EQ(cia.read(kCiaInterruptControl), 0) << "one cycle early";
    cia.advance(1);
    EXPECT_EQ(cia.read(kCiaInterruptControl), kIcrTimerA);
    EXPECT_EQ(cia.read(kCiaInterruptControl), 0) << "reading ICR acknowledges";
    cia.advance(100 * 3 - 1);
    EXPECT_EQ(cia.read(kCiaTimerALow), 0) << "at zero just before the fourth underflow";
    cia.advance(1);
    EXPECT_EQ(cia.read(kCiaTimerALow), 99) << "reloaded";
}

TEST(Cia, OneShotStopsAndTimerBCanCountTimerA) {
    Cia6526 cia;
    cia.write(kCiaTimerBLow, 2);
    cia.write(kCiaTimerBHigh, 0);
    cia.write(kCiaControlB, 0x51);  // count timer A underflows, force load, start
    start_timer_a(cia, 9, 0x11);
    cia.advance(10 * 3 - 1);
    EXPECT_EQ(cia.pending_flags() & kIcrTimerB, 0) << "two A underflows: B at zero";
    cia.advance(1);
    EXPECT_EQ(cia.pending_flags() & kIcrTimerB, kIcrTimerB) << "the third one runs B out";

    Cia6526 once;
    start_timer_a(once, 4, 0x19);  // one-shot
    once.advance(100);
    EXPECT_EQ(once.read(kCiaControlA) & 0x01, 0) << "stopped after its underflow";
    EXPECT_EQ(once.read(kCiaInterruptControl), kIcrTimerA);
}

TEST(Cia, MaskDecidesTheInterruptOutputNotTheFlags) {
    Cia6526 cia;
    cia.flag_falling_edge();
    EXPECT_FALSE(cia.interrupt_asserted());
    cia.write(kCiaInterruptControl, 0x80 | kIcrFlag);
    EXPECT_TRUE(cia.interrupt_asserted());
    EXPECT_EQ(cia.read(kCiaInterruptControl), 0x80 | kIcrFlag);
    EXPECT_FALSE(cia.interrupt_asserted());
    cia.write(kCiaInterruptControl, kIcrFlag);  // bit 7 clear: disable
    cia.flag_falling_edge();
    EXPECT_FALSE(cia.interrupt_asserted());
}

// /IRQ is a latch that only an ICR read releases.
// An ICR read happens on its instruction's last cycle; the machine then
// advances the chip past it.
TEST(Cia, OptionallyLosesOneFlagEdgeInTheCycleAfterAnIcrRead) {
    Cia6526 cia;
    cia.lose_next_flag_edge_after_icr_read();
    cia.read(kCiaInterruptControl);
    cia.advance(4);
    cia.flag_falling_edge(cia.cycle() + 1);
    EXPECT_EQ(cia.read(kCiaInterruptControl), kIcrFlag) << "two cycles after: kept";
    cia.advance(4);
    cia.flag_falling_edge();
    EXPECT_EQ(cia.pending_flags(), 0) << "the cycle right after: lost";
    cia.read(kCiaInterruptControl);
    cia.advance(4);
    cia.flag_falling_edge();
    EXPECT_EQ(cia.pending_flags(), kIcrFlag) << "only once";
    EXPECT_EQ(cia.lost_flag_edges(), 1u);
    Cia6526 plain;
    plain.read(kCiaInterruptControl);
    plain.advance(4);
    plain.flag_falling_edge();
    EXPECT_EQ(plain.pending_flags(), kIcrFlag) << "not lost without the option";
}

TEST(Cia, InterruptStaysAssertedUntilTheIcrIsRead) {
    Cia6526 cia;
    cia.write(kCiaInterruptControl, kIcrAnyEnabled | kIcrTimerA);
    start_timer_a(cia, 9, 0x11);
    cia.advance(10);
    EXPECT_TRUE(cia.interrupt_asserted());
    cia.write(kCiaInterruptControl, kIcrTimerA);  // mask bit cleared
    EXPECT_TRUE(cia.interrupt_asserted()) << "still low until read";
    EXPECT_EQ(cia.read(kCiaInterruptControl), kIcrAnyEnabled | kIcrTimerA);
    EXPECT_FALSE(cia.interrupt_asserted());
    cia.advance(10);
    EXPECT_FALSE(cia.interrupt_asserted()) << "masked: only the flag";
    cia.write(kCiaInterruptControl, kIcrAnyEnabled | kIcrTimerA);
    EXPECT_TRUE(cia.interrupt_asserted()) << "enabling a set flag pulls /IRQ low";
}

// CRB bits 6-5: cycles, CNT (pulled up on the C64: never an edge), A's
// underflows, A's underflows while CNT is high (always).
TEST(Cia, TimerBInputsAsWiredInTheC64) {
    const uint8_t inputs[] = {0x00, 0x20, 0x40, 0x60};
    const uint16_t expected_counter[] = {1000 - 200, 1000, 1000 - 20, 1000 - 20};
    for (int i = 0; i < 4; ++i) {
        Cia6526 cia;
        cia.write(kCiaTimerBLow, static_cast<uint8_t>(1000 & 0xFF));
        cia.write(kCiaTimerBHigh, 1000 >> 8);
        cia.write(kCiaControlB, static_cast<uint8_t>(inputs[i] | 0x01));
        start_timer_a(cia, 9, 0x11);
        cia.advance(200);
        EXPECT_EQ(cia.read(kCiaTimerBLow) | cia.read(kCiaTimerBHigh) << 8, expected_counter[i]) << i;
    }
}

void set_time(Cia6526& cia, uint8_t hours, uint8_t minutes, uint8_t seconds, uint8_t tenths) {
    cia.write(kCiaTodHours, hours);  // stops the clock...
    cia.write(kCiaTodMinutes, minutes);
    cia.write(kCiaTodSeconds, seconds);
    cia.write(kCiaTodTenths, tenths);  // ...until the tenths are written
}
uint32_t read_time(Cia6526& cia) {
    const uint8_t h = cia.read(kCiaTodHours), m = cia.read(kCiaTodMinutes), s = cia.read(kCiaTodSeconds);
    return static_cast<uint32_t>(h << 24 | m << 16 | s << 8 | cia.read(kCiaTodTenths));
}

TEST(Cia, TimeOfDayCountsInBcdLatchesStopsAndRaisesTheAlarm) {
    constexpr uint32_t kTenth = kPalClockHz / 10 + 1;  // rounded up: never short of a tick
    Cia6526 cia(kPalClockHz, kPalMainsHz);
    cia.write(kCiaControlA, kControlATod50Hz);
    set_time(cia, 0x11, 0x59, 0x59, 0x08);
    cia.advance(kTenth + 10);
    EXPECT_EQ(read_time(cia), 0x11595909u);
    cia.advance(kTenth);
    EXPECT_EQ(read_time(cia), 0x92000000u) << "11:59:59.9 AM -> 12:00:00.0 PM";

    EXPECT_EQ(cia.read(kCiaTodHours), 0x92);  // latches
    cia.advance(15 * kTenth);
    EXPECT_EQ(cia.read(kCiaTodSeconds), 0x00) << "latched";
    EXPECT_EQ(cia.read(kCiaTodTenths), 0x00) << "latched, and now released";
    EXPECT_EQ(cia.read(kCiaTodSeconds), 0x01);

    cia.write(kCiaTodHours, 0x01);
    cia.advance(10 * kTenth);
    EXPECT_EQ(read_time(cia), 0x01000105u) << "stopped by the hours write";
    cia.write(kCiaTodTenths, 0);
    cia.advance(kTenth + 10);
    EXPECT_EQ(read_time(cia), 0x01000101u);

    cia.write(kCiaControlB, kControlBWritesAlarm);
    set_time(cia, 0x01, 0x00, 0x02, 0x00);
    EXPECT_EQ(read_time(cia), 0x01000101u) << "alarm writes leave the time alone";
    cia.write(kCiaInterruptControl, kIcrAnyEnabled | kIcrAlarm);
    cia.advance(8 * kTenth);
    EXPECT_FALSE(cia.interrupt_asserted());
    cia.advance(kTenth + 10);
    EXPECT_TRUE(cia.interrupt_asserted());
    EXPECT_EQ(cia.read(kCiaInterruptControl), kIcrAnyEnabled | kIcrAlarm);

    // The divider must match the mains: 60 Hz mains at the 50 Hz setting
    // runs fast, 50 Hz mains at the 60 Hz setting slow.
    Cia6526 ntsc(kNtscClockHz, kNtscMainsHz);
    ntsc.write(kCiaControlA, 0);
    Cia6526 ntsc_wrong(kNtscClockHz, kNtscMainsHz);
    ntsc_wrong.write(kCiaControlA, kControlATod50Hz);
    Cia6526 pal_wrong(kPalClockHz, kPalMainsHz);
    for (Cia6526* c : {&ntsc, &ntsc_wrong, &pal_wrong}) set_time(*c, 0x01, 0, 0, 0);
    ntsc.advance(5 * kNtscClockHz + 100);
    ntsc_wrong.advance(5 * kNtscClockHz + 100);
    pal_wrong.advance(6 * kPalClockHz + 100);
    EXPECT_EQ(read_time(ntsc), 0x01000500u);
    EXPECT_EQ(read_time(ntsc_wrong), 0x01000600u);
    EXPECT_EQ(read_time(pal_wrong), 0x01000500u);
}

TEST(Cia, PortsMixOutputLatchAndDrivenInputs) {
    Cia6526 cia;
    cia.set_port_b_input(0x0A);
    EXPECT_EQ(cia.read(kCiaPortB), 0x0A);
    cia.write(kCiaPortB, 0x55);
    cia.write(kCiaDdrB, 0xF0);
    EXPECT_EQ(cia.read(kCiaPortB), 0x5A) << "outputs show the latch, inputs the pins";
    EXPECT_EQ(cia.port_b_pins(), 0x5A);
}

// The cable's side of the C64: nibble lines, the strobe edge, the status
// register, and what a port access costs in C64 time.
TEST(Cable, StrobeEdgeNibbleLinesAndStatus) {
    C64Machine c64;
    ParallelCable cable(c64, 0x378, 2.0);
    cable.out8(0x378, 0x80);
    EXPECT_EQ(c64.cia2().pending_flags() & kIcrFlag, 0) << "a rising edge is no strobe";
    cable.out8(0x378, 0x0B);
    EXPECT_EQ(c64.cia2().pending_flags() & kIcrFlag, kIcrFlag);
    EXPECT_EQ(c64.cia2().port_b_pins() & 0x0F, 0x0B);
    cable.out8(0x378, 0x05);
    EXPECT_EQ(c64.cia2().port_b_pins() & 0x0F, 0x05) << "data bits 4-6 go nowhere, bit 7 only to FLAG";

    EXPECT_EQ(cable.in8(0x379) & 0xF8, 0x50) << "PB4 floats high: BUSY high reads 0 in bit 7";
    c64.cia2().write(kCiaDdrB, 0x10);
    EXPECT_EQ(cable.in8(0x379) & 0xF8, 0xD0) << "PB4 driven low: the ready pattern";
    EXPECT_EQ(cable.in16(0x379) & 0xFF, cable.in8(0x379));
    EXPECT_EQ(cable.in8(0x37A), 0xCC) << "an idle port's control register";
    EXPECT_EQ(cable.in8(0x378), 0x05) << "the data register reads back";
    EXPECT_DOUBLE_EQ(cable.now_cycles(), 2.0 * static_cast<double>(cable.accesses()));
}

// In reverse mode the C64's pull-ups hold the lines high; switching back
// with bit 7 low in the data register is a falling edge, as is any the
// cable is asked to drop - once.
TEST(Cable, ReverseModeAndDroppedEdges) {
    C64Machine c64;
    ParallelCable cable(c64, 0x378);
    cable.out8(0x378, 0x85);
    cable.out8(0x37A, 0xEC);
    cable.out8(0x378, 0x05);
    EXPECT_EQ(c64.cia2().port_b_pins() & 0x0F, 0x0F);
    EXPECT_EQ(c64.cia2().read(kCiaInterruptControl) & kIcrFlag, 0);
    cable.out8(0x37A, 0xCC);
    EXPECT_EQ(c64.cia2().port_b_pins() & 0x0F, 0x05);
    EXPECT_EQ(c64.cia2().read(kCiaInterruptControl) & kIcrFlag, kIcrFlag);

    cable.drop_flag_edge(1);
    for (int edge = 0; edge < 3; ++edge) {
        cable.out8(0x378, 0x80);
        cable.out8(0x378, 0x00);
        EXPECT_EQ(c64.cia2().read(kCiaInterruptControl) & kIcrFlag, edge == 1 ? 0 : kIcrFlag) << edge;
    }
    EXPECT_EQ(cable.flag_edges(), 4u);
    EXPECT_EQ(cable.dropped_flag_edges(), 1u);
}

TEST(Cable, UnpluggedReadsOpenLinesAndTimeRunsOnTheMachinesClock) {
    C64Machine c64;
    ParallelCable cable(c64, 0x378, 2.0);
    c64.cia2().write(kCiaDdrB, 0x10);  // PB4 low: a receiver at rest
    cable.set_connected(false);
    EXPECT_EQ(cable.in8(0x379) & 0xF8, 0x78) << "pull-ups only";
    cable.out8(0x378, 0x8A);
    cable.out8(0x378, 0x00);
    EXPECT_EQ(c64.cia2().pending_flags() & kIcrFlag, 0) << "no strobe reaches the C64";
    EXPECT_EQ(c64.cia2().port_b_pins() & 0x0F, 0x0F);
    cable.set_connected(true);
    EXPECT_EQ(cable.in8(0x379) & 0xF8, 0xD0);

    C64Machine ntsc(C64Model::Ntsc);
    EXPECT_EQ(ntsc.frame_cycles(), 17095u);
    EXPECT_EQ(C64Machine().frame_cycles(), 19656u);
    ParallelCable ntsc_cable(ntsc, 0x378);
    ntsc_cable.in8(0x379);
    ntsc_cable.in8(0x379);
    EXPECT_NEAR(ntsc_cable.now_cycles(), 2 * 1.022727, 1e-9) << "one microsecond per access by default";
    ntsc_cable.idle(kNtscClockHz / 2);
    EXPECT_EQ(ntsc_cable.now_ms(), 500u);
}

}  // namespace
