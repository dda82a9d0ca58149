// Our receiver with our test tunes (tests/tunes/), on PAL and NTSC machines,
// driven through the cable by the real link: play rates, tunes that use the
// machine around them, long inits, stray strobes and other CIA 2 flags.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "link/c64_link.h"
#include "rig/c64/parallel_cable.h"
#include "rig/c64/receiver_boot.h"
#include "tune/sid_tune.h"

namespace {

constexpr uint16_t kPortBase = 0x378;
constexpr uint64_t kSettleCycles = 200000;  // the receiver's start-up: copies, PAL test, spare
constexpr uint16_t kPlay = 0x1003, kPlayCount = 0x1006, kIrqCount = 0x1009;
constexpr double kRateTolerance = 0.001;

using Link = C64Link<C64Port, C64Clock>;

std::unique_ptr<SidTune> load_tune(const std::string& name) {
    auto tune = std::make_unique<SidTune>();
    sid_tune_clear(*tune);
    const std::string path = std::string(ZORBIN_TUNES_DIR) + "/" + name;
    EXPECT_EQ(sid_tune_load(path.c_str(), *tune).verdict, SidVerdict::Accepted) << path;
    return tune;
}

// One song at `at`, init and play both at its first byte.
std::unique_ptr<SidTune> make_tune(uint16_t at, const uint8_t* code, uint16_t length) {
    auto tune = std::make_unique<SidTune>();
    sid_tune_clear(*tune);
    std::copy(code, code + length, tune->image);
    tune->load_address = tune->init_address = tune->play_address = at;
    tune->length = length;
    tune->songs = tune->start_song = 1;
    return tune;
}

uint32_t count_at(const C64Machine& c64, uint16_t address) {
    return c64.ram(address) | c64.ram(address + 1) << 8 | c64.ram(address + 2) << 16;
}

class ReceiverTunes : public ::testing::TestWithParam<C64Model> {
protected:
    ReceiverTunes() : c64(GetParam()), booted(boot_receiver(c64, read_file_bytes(ZORBIN_RECEIVER_PRG), kSettleCycles)) {
        cable.set_deadline(c64.cycle() + 300ull * c64.clock_hz());
        c64.watch(kPlay);
    }
    void SetUp() override { ASSERT_NE(booted, 0); }

    Link link(LinkVariant variant = kFixedBuildLink) { return Link(port, clock, kPortBase, variant); }
    bool upload(const SidTune& tune, uint8_t song, LinkVariant variant = kFixedBuildLink) {
        std::atomic<int32_t> progress{0};
        return link(variant).upload(tune, song, progress);
    }
    void run_seconds(double seconds) { cable.idle(static_cast<uint64_t>(seconds * c64.clock_hz())); }

    // Play calls per second between the third and the last call after
    // `from`, timed to the cycle. The timer runs from init on, so calls that
    // fell due while the receiver took the play command come at once.
    double play_rate(uint64_t from) const {
        uint64_t first = 0, last = 0, calls = 0, seen = 0;
        for (const WatchVisit& v : c64.visits()) {
            if (v.address != kPlay || v.cycle < from || seen++ < 2) continue;
            if (calls++ == 0) first = v.cycle;
            last = v.cycle;
        }
        if (calls < 2) return 0.0;
        return static_cast<double>(calls - 1) * c64.clock_hz() / static_cast<double>(last - first);
    }
    double measured_rate(double seconds) {
        const uint64_t from = c64.cycle();
        run_seconds(seconds);
        return play_rate(from);
    }
    double frame_rate() const { return static_cast<double>(c64.clock_hz()) / c64.frame_cycles(); }
    double timer_rate(uint32_t latch) const { return static_cast<double>(c64.clock_hz()) / (latch + 1); }

    C64Machine c64;
    const uint16_t booted;
    ParallelCable cable{c64, kPortBase};
    C64Port port{cable};
    C64Clock clock{cable};
};

#define EXPECT_RATE(measured, expected) \
    EXPECT_NEAR(measured, expected, (expected) * kRateTolerance)

TEST_P(ReceiverTunes, EachSongPlaysAtTheRateItsInitAndPlaySet) {
    auto tune = load_tune("speeds.sid");
    ASSERT_TRUE(upload(*tune, 1));
    EXPECT_RATE(measured_rate(3), frame_rate()) << "timer left alone: one call per frame";

    ASSERT_TRUE(link().select_song(*tune, 1));
    EXPECT_RATE(measured_rate(3), timer_rate(9851));

    ASSERT_TRUE(link().select_song(*tune, 2));
    EXPECT_RATE(measured_rate(3), timer_rate(2052));

    // Sub-songs change while the timer runs fast; the song that re-programs
    // the timer from play is measured on both sides of its switch.
    ASSERT_TRUE(link().select_song(*tune, 3));
    EXPECT_RATE(measured_rate(2.4), timer_rate(9851));
    EXPECT_LT(count_at(c64, kPlayCount), 256u);
    run_seconds(0.4);
    ASSERT_GT(count_at(c64, kPlayCount), 257u);
    EXPECT_RATE(measured_rate(3), timer_rate(4925));

    ASSERT_TRUE(link().stop());
    EXPECT_EQ(measured_rate(0.5), 0.0);
    EXPECT_TRUE(link().ready());
}

// Song 1 of the hostile tune writes page zero, $02A7-$02FF and the tape
// buffer on every call and pushes 24 bytes deep into the stack page.
TEST_P(ReceiverTunes, SurvivesATuneThatUsesLowMemoryAndTheStack) {
    auto hostile = load_tune("hostile.sid");
    ASSERT_TRUE(upload(*hostile, 1));
    EXPECT_RATE(measured_rate(2), frame_rate());
    EXPECT_EQ(c64.ram(0x02A7), static_cast<uint8_t>(count_at(c64, kPlayCount)));
    EXPECT_EQ(c64.ram(0x03FB), c64.ram(0x02A7));

    ASSERT_TRUE(link().select_song(*hostile, 0)) << "a sub-song change after the damage";
    EXPECT_RATE(measured_rate(1), frame_rate());
    ASSERT_TRUE(link().stop());
    auto speeds = load_tune("speeds.sid");
    ASSERT_TRUE(upload(*speeds, 2)) << "a second upload after the damage";
    EXPECT_RATE(measured_rate(2), timer_rate(9851));
}

// Songs 2 and 3 enable CIA 1's timer interrupt and clear I in their init;
// song 3 also points $0314 at its own handler.
TEST_P(ReceiverTunes, InterruptsATuneEnablesLandInOurHandlers) {
    auto hostile = load_tune("hostile.sid");
    ASSERT_TRUE(upload(*hostile, 2));
    EXPECT_RATE(measured_rate(2), frame_rate());
    ASSERT_TRUE(link().select_song(*hostile, 2));
    EXPECT_GT(c64.ram(kIrqCount), 0) << "the tune's own handler ran during its init";
    EXPECT_RATE(measured_rate(2), frame_rate());
    ASSERT_TRUE(link().stop());
    EXPECT_TRUE(link().ready());
}

// RESTORE while a tune plays, with BASIC and KERNAL in, with BASIC out and
// with both out (the images are stretched with zeros to reach under them).
TEST_P(ReceiverTunes, RestoreDuringPlayInEveryBankConfiguration) {
    auto speeds = load_tune("speeds.sid");
    for (uint32_t image_end : {0x1100u, 0xA100u, 0xE100u}) {
        speeds->length = static_cast<uint16_t>(image_end - speeds->load_address);
        ASSERT_TRUE(upload(*speeds, 2)) << std::hex << image_end;
        run_seconds(0.3);
        c64.press_restore();
        EXPECT_RATE(measured_rate(1), timer_rate(9851)) << std::hex << image_end;
        ASSERT_TRUE(link().stop()) << std::hex << image_end;
    }
}

// Init of song 4 runs for about five seconds: the bounded waits of the
// fixed build see a busy C64 and keep waiting.
TEST_P(ReceiverTunes, ALongInitStartsNormally) {
    auto hostile = load_tune("hostile.sid");
    const double start_ms = cable.now_ms();
    ASSERT_TRUE(upload(*hostile, 4));
    EXPECT_GT(cable.now_ms() - start_ms, 4500);
    EXPECT_RATE(measured_rate(1), frame_rate());
}

// A C64 that hangs for good is reported after twelve seconds, a pulled
// cable after two.
TEST_P(ReceiverTunes, AHungC64AndAPulledCableAreReported) {
    const uint8_t forever[] = {0x4C, 0x00, 0x10};  // init: JMP $1000
    auto hang = make_tune(0x1000, forever, sizeof forever);
    uint32_t start_ms = cable.now_ms();
    EXPECT_FALSE(upload(*hang, 1));
    EXPECT_NEAR(cable.now_ms() - start_ms, kBusyLimitMs, 300);

    cable.set_connected(false);  // a pulled cable reads the same whatever the C64 does
    start_ms = cable.now_ms();
    EXPECT_FALSE(link().stop());
    EXPECT_NEAR(cable.now_ms() - start_ms, kSilenceLimitMs, 300);
}

// A tune that wrote into the spare copy (here: RAM under the I/O area)
// leaves the receiver no loader: it falls silent at the next upload rather
// than take the image for commands, and the PC reports it.
TEST_P(ReceiverTunes, WithoutItsSpareTheReceiverFallsSilentAtTheNextUpload) {
    auto speeds = load_tune("speeds.sid");
    ASSERT_TRUE(upload(*speeds, 2));
    c64.set_ram(0xD080, static_cast<uint8_t>(c64.ram(0xD080) ^ 0x5A));
    const uint32_t start_ms = cable.now_ms();
    EXPECT_FALSE(upload(*speeds, 1));
    EXPECT_NEAR(cable.now_ms() - start_ms, kBusyLimitMs, 300);
    EXPECT_EQ(measured_rate(0.5), 0.0) << "the tune was stopped";
    EXPECT_FALSE(c64.cpu().jammed());
}

// Stray strobes between commands (firmware or the system probing the
// port): the receiver drops a dangling nibble or a command that never
// completes after a third of a second, and ignores unknown codes.
TEST_P(ReceiverTunes, StrayStrobesBetweenCommandsAreForgotten) {
    auto speeds = load_tune("speeds.sid");
    ASSERT_TRUE(upload(*speeds, 1));
    const auto strobe = [&](uint8_t nibble) {
        cable.out8(kPortBase, 0x80);
        cable.out8(kPortBase, nibble);
    };
    strobe(0x0);  // half a byte
    run_seconds(0.01);
    EXPECT_FALSE(link().ready()) << "the receiver answered the stray nibble";
    run_seconds(0.4);
    EXPECT_TRUE(link().ready());
    ASSERT_TRUE(link().select_song(*speeds, 1));
    EXPECT_RATE(measured_rate(1), timer_rate(9851));

    strobe(0x1);  // $81: an init command whose arguments never come
    strobe(0x8);
    run_seconds(0.4);
    strobe(0x5);  // $55 (or half of it, if both edges fall before the first is seen)
    strobe(0x5);
    run_seconds(0.4);
    EXPECT_TRUE(link().ready());
    ASSERT_TRUE(upload(*speeds, 3));
    EXPECT_RATE(measured_rate(1), timer_rate(2052));

    // A load command for $0200, over the receiver itself, is no real command.
    std::vector<uint8_t> home(0x100);
    for (uint16_t i = 0; i < home.size(); ++i) home[i] = c64.ram(static_cast<uint16_t>(0x0200 + i));
    ASSERT_TRUE(link().send_command(kCmdLoadImage, 4, 0, true));
    ASSERT_TRUE(link().send_byte(0x00, true) && link().send_byte(0x02, true));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(link().send_byte(0x00, true));
    for (uint16_t i = 0; i < home.size(); ++i) ASSERT_EQ(c64.ram(static_cast<uint16_t>(0x0200 + i)), home[i]) << i;
    EXPECT_RATE(measured_rate(1), timer_rate(2052)) << "the tune plays on";
}

// CIA 2 timer B and the time-of-day alarm raise flags in the same register
// as the strobe; an upload must take nothing but FLAG as a strobe.
TEST_P(ReceiverTunes, OtherCia2FlagsDuringAnUploadAreNoStrobes) {
    Cia6526& cia2 = c64.cia2();
    cia2.write(kCiaTimerBLow, 7);  // an underflow every 8 cycles
    cia2.write(kCiaTimerBHigh, 0);
    cia2.write(kCiaControlB, kControlStart | kControlForceLoad);
    const auto set_tod = [&](uint8_t tenths) {  // hours first: the clock waits for tenths
        for (uint8_t reg : {kCiaTodHours, kCiaTodMinutes, kCiaTodSeconds}) cia2.write(reg, 0);
        cia2.write(kCiaTodTenths, tenths);
    };
    cia2.write(kCiaControlB, kControlStart | kControlBWritesAlarm);
    set_tod(1);  // the alarm at 00:00:00.1
    cia2.write(kCiaControlB, kControlStart);
    set_tod(0);  // the clock from 00:00:00.0

    std::vector<uint8_t> image(0x4000);
    std::mt19937 random(3);
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
    image[0] = 0x60;  // init and play: RTS
    auto tune = make_tune(0x2000, image.data(), 0x4000);
    ASSERT_TRUE(upload(*tune, 1, kFullBuildLink));
    EXPECT_GT(cable.now_ms(), 150u) << "the alarm time passed during the upload";
    for (uint32_t i = 0; i < tune->length; ++i)
        ASSERT_EQ(c64.ram(static_cast<uint16_t>(0x2000 + i)), tune->image[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(PalAndNtsc, ReceiverTunes, ::testing::Values(C64Model::Pal, C64Model::Ntsc),
                         [](const auto& param) { return param.param == C64Model::Pal ? "Pal" : "Ntsc"; });

}  // namespace
