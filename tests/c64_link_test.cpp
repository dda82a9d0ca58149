#include "link/c64_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/receiver_sim.h"
#include "tests/support/psid_builder.h"

namespace {

// Time moves only when asked: every look at the clock costs `step` ms.
struct FakeClock {
    uint32_t now = 1000;
    uint32_t step = 100;
    uint32_t looks = 0;
    uint32_t now_ms() {
        ++looks;
        return now += step;
    }
};

// Records the order of writes and status reads around a simulator, as
// "W80 W05 R ..." (consecutive reads folded into one R).
struct TracingPort {
    C64ReceiverSim& sim;
    std::string trace;
    void out8(uint16_t port, uint8_t value) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "W%02X ", value);
        trace += buf;
        sim.io_write(port, value);
    }
    uint8_t in8(uint16_t port) { return sim.io_read8(port); }
    uint16_t in16(uint16_t port) {
        if (trace.size() < 2 || trace.compare(trace.size() - 2, 2, "R ") != 0) trace += "R ";
        return sim.io_read16(port);
    }
};

// A port whose status register always reads one value.
struct FixedStatusPort {
    uint8_t status;
    void out8(uint16_t, uint8_t) {}
    uint8_t in8(uint16_t) { return status; }
    uint16_t in16(uint16_t) { return status; }
};

SidTune g_tune;

void make_tune(uint16_t length, uint8_t songs = 3, uint8_t start = 1) {
    sid_tune_clear(g_tune);
    g_tune.load_address = 0x1000;
    g_tune.init_address = 0x1234;
    g_tune.play_address = 0x1567;
    g_tune.songs = songs;
    g_tune.start_song = start;
    g_tune.length = length;
    const std::vector<uint8_t> bytes = filler(length, 7);
    for (uint16_t i = 0; i < length; ++i) g_tune.image[i] = bytes[i];
}

struct Rig {
    C64ReceiverSim sim{0x378};
    SimPort port{sim};
    FakeClock clock;
    std::atomic<int32_t> progress{-1};
    C64Link<SimPort, FakeClock> link(LinkVariant variant = kFullBuildLink, uint16_t base = 0x378) {
        return C64Link<SimPort, FakeClock>(port, clock, base, variant);
    }
};

TEST(LinkReadyProbe, LooksAtStatusBits7To3Only) {
    FakeClock clock;
    const struct {
        uint8_t status;
        bool ready;
    } cases[] = {{0xD0, true}, {0xD7, true}, {0x50, false}, {0xF0, false},
                 {0xD8, false}, {0xC0, false}, {0xFF, false}, {0x00, false}};
    for (const auto& c : cases) {
        FixedStatusPort port{c.status};
        C64Link<FixedStatusPort, FakeClock> link(port, clock, 0x378, kFullBuildLink);
        EXPECT_EQ(link.ready(), c.ready) << std::hex << int(c.status);
    }
}

TEST(LinkReadyProbe, FindsTheReceiverOnlyOnItsOwnBase) {
    Rig rig;
    rig.sim.set_status_noise(0x05);
    EXPECT_TRUE(rig.link().ready());
    EXPECT_FALSE(rig.link(kFullBuildLink, 0x278).ready());
    EXPECT_FALSE(rig.link(kFullBuildLink, 0x3BC).ready());
    rig.sim.set_mode(C64ReceiverSim::Mode::Absent);
    EXPECT_FALSE(rig.link().ready());
}

TEST(LinkSendByte, NibbleSequenceOfBothBuilds) {
    for (bool full : {true, false}) {
        C64ReceiverSim sim;
        TracingPort port{sim, {}};
        FakeClock clock;
        C64Link<TracingPort, FakeClock> link(port, clock, 0x378,
                                             full ? kFullBuildLink : kFixedBuildLink);
        ASSERT_TRUE(link.send_byte(0xA5, true));
        EXPECT_EQ(port.trace, full ? "W80 W80 W05 R W80 W0A R " : "W80 W05 R W80 W0A R ");
        EXPECT_EQ(sim.bytes(), std::vector<uint8_t>{0xA5});
        // The data lines keep the high nibble afterwards; nothing resets them.
        EXPECT_EQ(sim.data_writes().back(), 0x0A);
    }
}

TEST(LinkSendByte, WaitsForEachAnswerBeforeTheNextNibble) {
    // A stalled receiver never pulls the handshake low: the sender must not
    // go on to the high nibble.
    Rig rig;
    rig.sim.stall_after(0);
    auto link = rig.link();
    EXPECT_FALSE(link.send_byte(0x3C, true));
    EXPECT_EQ(rig.sim.data_writes(), (std::vector<uint8_t>{0x80, 0x80, 0x0C}));
}

TEST(LinkUpload, PutsExactlyLengthPlusTwelveBytesOnTheWire) {
    for (uint16_t length : std::initializer_list<uint16_t>{0, 1, 300, 4096}) {
        Rig rig;
        make_tune(length, 3, 2);
        ASSERT_TRUE(rig.link().upload(g_tune, g_tune.start_song, rig.progress));
        SCOPED_TRACE(length);
        const std::vector<uint8_t>& wire = rig.sim.bytes();
        ASSERT_EQ(wire.size(), length + kUploadOverheadBytes);
        const std::vector<uint8_t> head{0x80, static_cast<uint8_t>(length),
                                        static_cast<uint8_t>(length >> 8), 0x00, 0x10};
        EXPECT_EQ(std::vector<uint8_t>(wire.begin(), wire.begin() + 5), head);
        EXPECT_TRUE(std::equal(wire.begin() + 5, wire.begin() + 5 + length, g_tune.image));
        const std::vector<uint8_t> tail{0x81, 0x34, 0x12, 0x01, 0x82, 0x67, 0x15};
        EXPECT_EQ(std::vector<uint8_t>(wire.end() - 7, wire.end()), tail);
        EXPECT_EQ(rig.progress.load(), length);
        EXPECT_EQ(rig.sim.load_address(), 0x1000);
        EXPECT_EQ(rig.sim.image_length(), length);
        EXPECT_TRUE(rig.sim.playing());
        // Two nibble handshakes per byte.
        EXPECT_EQ(rig.sim.writes_seen(), (length + kUploadOverheadBytes) * 5);
    }
}

TEST(LinkUpload, StartSongZeroWrapsToIndexFF) {
    Rig rig;
    make_tune(16, 1, 0);
    ASSERT_TRUE(rig.link().upload(g_tune, 0, rig.progress));
    EXPECT_EQ(rig.sim.song_index(), 0xFF);
}

TEST(LinkSelectSong, RestartsWithoutTheImage) {
    Rig rig;
    make_tune(16);
    ASSERT_TRUE(rig.link().select_song(g_tune, 2));
    EXPECT_EQ(rig.sim.bytes(), (std::vector<uint8_t>{0x83, 0x00, 0x00, 0x81, 0x34, 0x12, 0x02, 0x82,
                                                     0x67, 0x15}));
    ASSERT_EQ(rig.sim.bytes().size(), kSelectSongBytes);
    ASSERT_TRUE(rig.link().stop());
    EXPECT_EQ(rig.sim.bytes().size(), kSelectSongBytes + kStopBytes);
    EXPECT_FALSE(rig.sim.playing());
}

TEST(LinkBoundedWaits, GiveUpAfterTwelveSecondsOfSilenceFromAWiredC64) {
    // A receiver that falls silent on the closing commands of an upload
    // still shows the resting status lines: a C64 busy or hung.
    for (uint32_t stall_at : {5u + 16u, 5u + 16u + 3u, 5u + 16u + 4u}) {
        Rig rig;
        make_tune(16);
        rig.sim.stall_after(stall_at);
        const uint32_t start = rig.clock.now;
        SCOPED_TRACE(stall_at);
        EXPECT_FALSE(rig.link().upload(g_tune, 1, rig.progress));
        EXPECT_EQ(rig.progress.load(), 16);  // the image itself went through
        const uint32_t waited = rig.clock.now - start;
        EXPECT_GE(waited, kBusyLimitMs);
        EXPECT_LE(waited, kBusyLimitMs + 2 * rig.clock.step);
    }
    Rig rig;
    make_tune(16);
    rig.sim.stall_after(4);
    EXPECT_FALSE(rig.link().select_song(g_tune, 1));
    rig.sim.stall_after(0);
    EXPECT_FALSE(rig.link().stop());
}

// The status lines tell a busy C64 from a missing one: only the first is
// waited for beyond two seconds, and a cable pulled during a long wait is
// reported at the next look at the clock.
TEST(LinkBoundedWaits, WaitLongOnlyWhileTheStatusLinesShowAWiredC64) {
    struct Case { C64ReceiverSim::Mode mode; uint32_t limit; };
    for (const Case& c : {Case{C64ReceiverSim::Mode::Busy, kBusyLimitMs},
                          Case{C64ReceiverSim::Mode::Unplugged, kSilenceLimitMs},
                          Case{C64ReceiverSim::Mode::Absent, kSilenceLimitMs}}) {
        Rig rig;
        rig.sim.set_mode(c.mode);
        const uint32_t start = rig.clock.now;
        EXPECT_FALSE(rig.link().stop());
        const uint32_t waited = rig.clock.now - start;
        EXPECT_GE(waited, c.limit);
        EXPECT_LE(waited, c.limit + 2 * rig.clock.step);
    }
    Rig rig;
    rig.sim.set_mode(C64ReceiverSim::Mode::Busy);
    rig.sim.set_floating_value(0x7F);
    rig.clock.step = 1000;
    struct PullAfter {
        Rig& rig;
        uint32_t looks_left;
        uint32_t now_ms() {
            if (--looks_left == 0) rig.sim.set_mode(C64ReceiverSim::Mode::Absent);
            return rig.clock.now_ms();
        }
    } pulled{rig, 6};
    C64Link<SimPort, PullAfter> link(rig.port, pulled, 0x378, kFullBuildLink);
    EXPECT_FALSE(link.stop());
    // Open lines read bit 7 = 0, which passes for the first answer; the next
    // wait then sees no wired C64 and gives up after the short limit.
    const uint32_t pulled_at = 1000 + 6 * 1000;
    EXPECT_LE(rig.clock.now - pulled_at, kSilenceLimitMs + 2 * rig.clock.step);
}

TEST(LinkBoundedWaits, ABusyC64ThatAnswersWithinTenSecondsIsNoFault) {
    Rig rig;
    make_tune(16);
    rig.sim.stall_after(5 + 16 + 3);  // init: the C64 is busy in the tune's init
    struct ResumeAfter {
        Rig& rig;
        uint32_t looks_left;
        uint32_t now_ms() {
            if (--looks_left == 0) rig.sim.resume();
            return rig.clock.now_ms();
        }
    } resumes{rig, 100};  // 10 s at 100 ms a look
    C64Link<SimPort, ResumeAfter> link(rig.port, resumes, 0x378, kFullBuildLink);
    EXPECT_TRUE(link.upload(g_tune, 1, rig.progress));
    EXPECT_TRUE(rig.sim.playing());
}

TEST(LinkBoundedWaits, LookAtTheClockOnlyEveryFewThousandPolls) {
    Rig rig;
    rig.sim.stall_after(0);
    rig.link().stop();
    ASSERT_GT(rig.clock.looks, 1u);
    EXPECT_GE(rig.sim.status_reads() / (rig.clock.looks - 1), kPollsPerClockCheck);
}

TEST(LinkUpload, WatchedImageWaitsWithoutLimitInTheFullBuild) {
    Rig rig;
    make_tune(64);
    rig.sim.stall_after(20);
    // Far longer than the silence limit would allow at one clock look per
    // kPollsPerClockCheck polls and 100 ms a look.
    rig.sim.resume_after_reads(kPollsPerClockCheck * 100);
    ASSERT_TRUE(rig.link().upload(g_tune, 1, rig.progress));
    EXPECT_EQ(rig.sim.image_length(), 64);
    EXPECT_EQ(rig.sim.image().size(), 64u);
    EXPECT_EQ(rig.clock.looks, 0u);  // an answering receiver never costs a look
}

TEST(LinkUpload, FixedBuildBoundsEveryWait) {
    Rig rig;
    make_tune(64);
    rig.sim.stall_after(20);
    EXPECT_FALSE(rig.link(kFixedBuildLink).upload(g_tune, 1, rig.progress));
    EXPECT_EQ(rig.progress.load(), 14);  // bytes 0..14 went, the 16th waited in vain
    // Every byte costs four writes in the fixed build.
    EXPECT_EQ(rig.sim.bytes().size(), 20u);
}

}  // namespace
