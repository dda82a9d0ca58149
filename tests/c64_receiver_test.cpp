// Our receiver (receiver/receiver.asm) in the emulated C64, driven through
// the cable by the real link code of both builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <vector>

#include "link/c64_link.h"
#include "rig/c64/parallel_cable.h"
#include "rig/c64/receiver_boot.h"
#include "tune/sid_tune.h"

namespace {

constexpr uint16_t kPortBase = 0x378;
constexpr uint64_t kOneSecond = kPalClockHz;
constexpr uint64_t kSettleCycles = 200000;  // the receiver's start-up
constexpr uint8_t kSidVolume = 0x18;

using Link = C64Link<C64Port, C64Clock>;

std::unique_ptr<SidTune> blank_tune() {
    auto tune = std::make_unique<SidTune>();
    sid_tune_clear(*tune);
    return tune;
}

// A tune of random bytes with a tiny init and play at its start:
//   init: STA load+$10 ; LDA $01 ; STA load+$11 ; RTS   (records A and the bank)
//   play: INC load+$12 ; RTS
std::unique_ptr<SidTune> random_tune(uint16_t load, uint32_t length, uint32_t seed) {
    auto tune = blank_tune();
    std::mt19937 random(seed);
    for (uint32_t i = 0; i < length; ++i) tune->image[i] = static_cast<uint8_t>(random());
    const auto lo = [load](int offset) { return static_cast<uint8_t>(load + offset); };
    const auto hi = [load](int offset) { return static_cast<uint8_t>((load + offset) >> 8); };
    const uint8_t code[] = {0x8D, lo(0x10), hi(0x10), 0xA5, 0x01, 0x8D, lo(0x11), hi(0x11), 0x60,
                            0xEE, lo(0x12), hi(0x12), 0x60};
    if (length >= sizeof code + 3) std::copy(std::begin(code), std::end(code), tune->image);
    tune->load_address = load;
    tune->init_address = load;
    tune->play_address = static_cast<uint16_t>(load + 9);
    tune->length = static_cast<uint16_t>(length);
    tune->songs = 1;
    tune->start_song = 1;
    return tune;
}

class ReceiverTest : public ::testing::TestWithParam<LinkVariant> {
protected:
    void SetUp() override {
        ASSERT_NE(boot_receiver(c64, read_file_bytes(ZORBIN_RECEIVER_PRG), kSettleCycles), 0);
        cable.idle(c64.cycle() - static_cast<uint64_t>(cable.now_cycles()));  // the PC's clock joins in
        cable.set_deadline(c64.cycle() + 120 * kOneSecond);
    }

    Link link() { return Link(port, clock, kPortBase, GetParam()); }

    bool upload(const SidTune& tune, uint8_t song) {
        std::atomic<int32_t> progress{0};
        return link().upload(tune, song, progress);
    }

    // Lets the C64 run on while the PC does nothing.
    void idle(uint64_t cycles) { c64.run_for(cycles); }

    std::vector<WatchVisit> visits_to(uint16_t address, uint64_t from = 0) const {
        std::vector<WatchVisit> out;
        for (const WatchVisit& v : c64.visits()) {
            if (v.address == address && v.cycle >= from) out.push_back(v);
        }
        return out;
    }

    // Offsets $10-$12 of a random tune hold what its init and play record.
    bool image_in_ram(const SidTune& tune) const {
        for (uint32_t i = 0; i < tune.length; ++i) {
            if (i >= 0x10 && i <= 0x12) continue;
            if (c64.ram(static_cast<uint16_t>(tune.load_address + i)) != tune.image[i]) return false;
        }
        return true;
    }

    C64Machine c64;
    ParallelCable cable{c64, kPortBase};
    C64Port port{cable};
    C64Clock clock{cable};
};

TEST_P(ReceiverTest, RestsReadyOnlyOnceStarted) {
    C64Machine idle_c64;
    ParallelCable idle_cable{idle_c64, kPortBase};
    EXPECT_FALSE(status_says_ready(idle_cable.in8(kPortBase + 1)))
        << "a C64 without the receiver leaves BUSY pulled up: status bit 7 reads 0";
    EXPECT_TRUE(link().ready());
    EXPECT_EQ(cable.in8(kPortBase + 1) & kReadyMask, kReadyPattern);
}

TEST_P(ReceiverTest, DemoTunePlaysOncePerFrameAndAnswersCommandsWhilePlaying) {
    auto tune = blank_tune();
    ASSERT_EQ(sid_tune_load(ZORBIN_DEMO_SID, *tune).verdict, SidVerdict::Accepted);
    c64.watch(tune->init_address);
    c64.watch(tune->play_address);

    ASSERT_TRUE(upload(*tune, tune->start_song));
    const auto inits = visits_to(tune->init_address);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].a, tune->start_song - 1) << "init gets the 0-based song in A";

    const uint64_t playing_from = c64.cycle();
    idle(kOneSecond);
    auto plays = visits_to(tune->play_address, playing_from);
    EXPECT_GE(plays.size(), 49u);
    EXPECT_LE(plays.size(), 51u);
    // Each call waits for the timer's flag in the poll loop, so a single gap
    // may be a little off; the timer's reload keeps their sum exact. The
    // first call comes at once when the timer ran out between init and play.
    ASSERT_GE(plays.size(), 3u);
    plays.erase(plays.begin());
    for (size_t i = 1; i < plays.size(); ++i) {
        const uint64_t gap = plays[i].cycle - plays[i - 1].cycle;
        EXPECT_NEAR(static_cast<double>(gap), c64.frame_cycles(), 100.0) << "between play calls " << i;
    }
    EXPECT_NEAR(static_cast<double>(plays.back().cycle - plays.front().cycle) / static_cast<double>(plays.size() - 1),
                c64.frame_cycles(), 2.0);
    const size_t sid_writes_in_play =
        std::count_if(c64.sid_writes().begin(), c64.sid_writes().end(),
                      [&](const SidWrite& w) { return w.cycle >= plays.front().cycle; });
    EXPECT_GT(sid_writes_in_play, 10u) << "play's notes reach the SID";

    // A sub-song change arrives while play is being called.
    const uint64_t change_at = c64.cycle();
    ASSERT_TRUE(link().select_song(*tune, 2));
    const auto new_inits = visits_to(tune->init_address, change_at);
    ASSERT_EQ(new_inits.size(), 1u);
    EXPECT_EQ(new_inits[0].a, 2);
    const uint64_t replaying_from = c64.cycle();
    idle(kOneSecond / 2);
    EXPECT_GE(visits_to(tune->play_address, replaying_from).size(), 24u);
}

TEST_P(ReceiverTest, StopSilencesTheSidAndEndsPlayCalls) {
    auto tune = blank_tune();
    ASSERT_EQ(sid_tune_load(ZORBIN_DEMO_SID, *tune).verdict, SidVerdict::Accepted);
    c64.watch(tune->play_address);
    ASSERT_TRUE(upload(*tune, 1));
    idle(kOneSecond / 2);
    ASSERT_FALSE(visits_to(tune->play_address).empty());

    const uint64_t stop_at = c64.cycle();
    ASSERT_TRUE(link().stop());
    const uint64_t stopped_at = c64.cycle();
    idle(kOneSecond);
    EXPECT_TRUE(visits_to(tune->play_address, stopped_at).empty()) << "play called after stop";

    uint8_t last_value[0x20];
    std::fill(std::begin(last_value), std::end(last_value), 0xAA);
    size_t written_after_stop = 0;
    for (const SidWrite& w : c64.sid_writes()) {
        if (w.cycle < stop_at) continue;
        last_value[w.reg] = w.value;
        ++written_after_stop;
    }
    EXPECT_GE(written_after_stop, 0x19u);
    for (uint8_t reg = 0; reg <= kSidVolume; ++reg) EXPECT_EQ(last_value[reg], 0) << "SID register " << +reg;
    EXPECT_TRUE(link().ready()) << "back at rest, ready for the next command";
}

// Image lengths and load addresses around the page arithmetic of the image
// loop, with guard bytes on both sides.
TEST_P(ReceiverTest, ImagesLandExactlyWhateverTheirLengthAndAlignment) {
    struct Case { uint16_t load; uint32_t length; };
    const Case cases[] = {{0x1000, 1}, {0x1001, 255}, {0x20FF, 256}, {0x3080, 257},
                          {0x4000, 1000}, {0xF000, 0x1000}};
    uint32_t seed = 1;
    for (const Case& c : cases) {
        auto tune = random_tune(c.load, c.length, seed++);
        tune->init_address = tune->play_address = 0x0FF0;  // an RTS outside every image
        c64.set_ram(0x0FF0, 0x60);
        const uint16_t before = static_cast<uint16_t>(c.load - 1);
        const uint32_t after = c.load + c.length;
        c64.set_ram(before, 0x5A);
        if (after < 0x10000) c64.set_ram(static_cast<uint16_t>(after), 0xA5);
        ASSERT_TRUE(upload(*tune, 1)) << "load $" << std::hex << c.load;
        EXPECT_TRUE(image_in_ram(*tune)) << "load $" << std::hex << c.load << " length " << std::dec << c.length;
        EXPECT_EQ(c64.ram(before), 0x5A) << "byte before $" << std::hex << c.load;
        if (after < 0x10000) {
            EXPECT_EQ(c64.ram(static_cast<uint16_t>(after)), 0xA5) << "byte after the image";
        }
    }
}

// The lowest load address the PC accepts must not reach the receiver, and
// bytes for $D000-$DFFF must go to RAM, not into the chips there.
TEST_P(ReceiverTest, SurvivesTheLowestImageAndStoresUnderTheIoArea) {
    auto low = random_tune(0x03F0, 0x2000, 7);
    c64.watch(low->init_address);
    ASSERT_TRUE(upload(*low, 1));
    EXPECT_TRUE(image_in_ram(*low));
    ASSERT_EQ(visits_to(low->init_address).size(), 1u) << "receiver still runs after the image";

    auto high = random_tune(0xC000, 0x3000, 8);  // $C000-$EFFF: across I/O, under the KERNAL
    const size_t sid_writes_before = c64.sid_writes().size();
    ASSERT_TRUE(upload(*high, 1));
    EXPECT_TRUE(image_in_ram(*high));
    EXPECT_EQ(c64.sid_writes().size() - sid_writes_before, 0x19u)
        << "only the silencing at the upload's start may reach the SID";
    EXPECT_EQ(c64.ram(0xC011), 0x35) << "a tune under the KERNAL runs with all ROMs off, I/O on";
    EXPECT_EQ(c64.ram(0xC010), 0) << "song index in A";
    EXPECT_TRUE(c64.io_visible());
    EXPECT_TRUE(link().ready());
}

// $0400-$F3FF covers every usual place of the receiver's spare copy; the
// next upload needs one all the same (it brings the loader).
TEST_P(ReceiverTest, AnImageOfAlmostAllMemoryIsFollowedByAnother) {
    auto big = random_tune(0x0400, 0xF000, 12);
    ASSERT_TRUE(upload(*big, 1));
    EXPECT_TRUE(image_in_ram(*big));
    auto next = random_tune(0x1000, 0x100, 13);
    ASSERT_TRUE(upload(*next, 1));
    EXPECT_TRUE(image_in_ram(*next));
}

TEST_P(ReceiverTest, BanksOutOnlyTheRomsTheImageReaches) {
    auto basic = random_tune(0x9000, 0x1800, 9);  // ends in $A000-$BFFF
    ASSERT_TRUE(upload(*basic, 1));
    EXPECT_EQ(c64.ram(0x9011), 0x36);
    auto plain = random_tune(0x1000, 0x8FFF, 10);  // ends at $9FFE
    ASSERT_TRUE(upload(*plain, 1));
    EXPECT_EQ(c64.ram(0x1011), 0x37);
}

// Throughput at the PAL clock with a PC that needs 1 us per port access:
// the image loop takes 46 cycles a byte (21.4 KB/s), and every upload pays
// about 70 ms for its three commands' repairs and the new spare.
TEST_P(ReceiverTest, UploadsAtLeastTwentyKilobytesPerSecond) {
    auto tune = random_tune(0x1000, 0xB000, 11);
    const double start = cable.now_cycles();
    const uint64_t stolen_before = c64.stolen_cycles();
    ASSERT_TRUE(upload(*tune, 1));
    const double cycles = cable.now_cycles() - start;
    EXPECT_TRUE(image_in_ram(*tune));
    EXPECT_GE(tune->length / (cycles / kPalClockHz), 20000.0);
    EXPECT_LT(static_cast<double>(c64.stolen_cycles() - stolen_before), cycles / 500)
        << "the screen is off while an image arrives: no bad lines";
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, ReceiverTest,
                         ::testing::Values(kFullBuildLink, kFixedBuildLink),
                         [](const auto& param_info) {
                             return param_info.param.strobes_before_low_nibble == 2 ? "FullBuild" : "FixedBuild";
                         });

TEST(ReceiverProgram, StartsFromItsBasicLine) {
    const std::vector<uint8_t> prg = read_file_bytes(ZORBIN_RECEIVER_PRG);
    EXPECT_EQ(prg[0] | prg[1] << 8, 0x0801);
    EXPECT_EQ(basic_sys_address(prg), 2061);
    EXPECT_EQ(basic_sys_address({0x01, 0x08, 0, 0, 10, 0, 0x99, '1'}), 0) << "PRINT is no SYS";
}

// A bounded wait of the fixed build ends when no receiver answers, timed by
// the emulated clock: a C64 that is on and wired shows the resting status
// lines, so the link allows it the long limit.
TEST(ReceiverAbsent, FixedBuildGivesUpAfterTwelveEmulatedSecondsWithoutAReceiver) {
    C64Machine c64;  // nothing started: the CPU jams in the system ROM's stand-in
    ParallelCable cable{c64, kPortBase};
    cable.set_deadline(20 * kOneSecond);
    C64Port port{cable};
    C64Clock clock{cable};
    Link link(port, clock, kPortBase, kFixedBuildLink);
    EXPECT_FALSE(link.stop());
    EXPECT_GE(cable.now_ms(), kBusyLimitMs);
    EXPECT_LT(cable.now_ms(), kBusyLimitMs + 500);
}

}  // namespace
