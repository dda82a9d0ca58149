#include "sim/receiver_sim.h"

#include <gtest/gtest.h>

namespace {

void strobe_byte(C64ReceiverSim& sim, uint8_t value) {
    sim.io_write(0x378, 0x80);
    sim.io_write(0x378, value & 0x0F);
    sim.io_write(0x378, 0x80);
    sim.io_write(0x378, value >> 4);
}

TEST(ReceiverSim, RestsReadyAndAnswersEachNibble) {
    C64ReceiverSim sim(0x378);
    sim.set_status_noise(0x03);
    EXPECT_EQ(sim.io_read8(0x379), 0xD3);
    EXPECT_EQ(sim.io_read16(0x379) & 0xFF, 0xD3);
    sim.io_write(0x378, 0x80);
    sim.io_write(0x378, 0x05);  // falling edge: low nibble taken
    EXPECT_EQ(sim.io_read8(0x379) & 0x80, 0);
    sim.io_write(0x378, 0x05);  // no edge: nothing happens
    sim.io_write(0x378, 0x80);
    sim.io_write(0x378, 0x0A);
    EXPECT_EQ(sim.io_read8(0x379) & 0x80, 0x80);
    EXPECT_EQ(sim.bytes(), std::vector<uint8_t>{0xA5});
}

TEST(ReceiverSim, IgnoresOtherPortsAndCanBeAbsent) {
    C64ReceiverSim sim(0x278);
    sim.io_write(0x378, 0x80);
    sim.io_write(0x378, 0x01);
    EXPECT_EQ(sim.data_writes().size(), 0u);
    EXPECT_EQ(sim.io_read8(0x379), 0xFF);
    sim.set_mode(C64ReceiverSim::Mode::Absent);
    EXPECT_EQ(sim.io_read8(0x279), 0xFF);
    strobe_byte(sim, 0x83);
    EXPECT_TRUE(sim.bytes().empty());
}

TEST(ReceiverSim, ParsesCommandsAndRecordsUnknownOnes) {
    C64ReceiverSim sim(0x378);
    for (uint8_t b : std::initializer_list<uint8_t>{0x80, 0x02, 0x00, 0x00, 0x10, 0xAA, 0xBB, 0x81, 0x00, 0x10, 0x04, 0x82, 0x03,
                      0x10, 0x42, 0x01, 0x02, 0x83, 0x00, 0x00})
        strobe_byte(sim, b);
    ASSERT_EQ(sim.commands().size(), 5u);
    EXPECT_EQ(sim.load_address(), 0x1000);
    EXPECT_EQ(sim.image(), (std::vector<uint8_t>{0xAA, 0xBB}));
    EXPECT_EQ(sim.init_address(), 0x1000);
    EXPECT_EQ(sim.song_index(), 4);
    EXPECT_EQ(sim.play_address(), 0x1003);
    EXPECT_EQ(sim.commands()[3].code, 0x42);
    EXPECT_FALSE(sim.playing());
    EXPECT_EQ(sim.describe_commands(),
              "80 load image: length 2, load $1000, 2 bytes\n"
              "81 init: $1000, song index 4\n"
              "82 play: $1003\n"
              "42 unknown command (01 02)\n"
              "83 stop\n");
}

TEST(ReceiverSim, BusyShowsTheRestingLinesAndUnpluggedTheOpenOnes) {
    C64ReceiverSim sim(0x378);
    sim.set_mode(C64ReceiverSim::Mode::Busy);
    sim.io_write(0x378, 0x80);
    sim.io_write(0x378, 0x07);
    EXPECT_EQ(sim.io_read8(0x379), 0xD0) << "a busy C64 does not answer";
    sim.set_mode(C64ReceiverSim::Mode::Present);
    EXPECT_EQ(sim.io_read8(0x379), 0x50) << "the nibble strobed while busy is taken";
    sim.set_mode(C64ReceiverSim::Mode::Unplugged);
    EXPECT_EQ(sim.io_read8(0x379), 0x7F);
    sim.io_write(0x378, 0x80);
    sim.io_write(0x378, 0x00);
    EXPECT_TRUE(sim.bytes().empty());
}

TEST(ReceiverSim, StallHoldsTheNibbleUntilResume) {
    C64ReceiverSim sim(0x378);
    sim.stall_after(1);
    strobe_byte(sim, 0x11);
    sim.io_write(0x378, 0x80);
    sim.io_write(0x378, 0x02);
    EXPECT_TRUE(sim.stalled());
    EXPECT_EQ(sim.io_read8(0x379) & 0x80, 0x80);  // no answer while stalled
    sim.resume();
    EXPECT_EQ(sim.io_read8(0x379) & 0x80, 0);  // the held nibble is taken now
    sim.io_write(0x378, 0x80);
    sim.io_write(0x378, 0x02);
    EXPECT_EQ(sim.bytes(), (std::vector<uint8_t>{0x11, 0x22}));
}

}  // namespace
