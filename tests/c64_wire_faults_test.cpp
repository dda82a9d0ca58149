// What the wire does to our receiver in the emulated C64 on a bad evening,
// through the real link code of both builds: strobe edges lost on the way
// or beside the CIA's ICR read, a port another program left in reverse, and
// a cable pulled off either end or a C64 switched off.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>

#include "link/c64_link.h"
#include "rig/c64/parallel_cable.h"
#include "rig/c64/receiver_boot.h"
#include "tune/sid_tune.h"

namespace {

constexpr uint16_t kPortBase = 0x378;
constexpr uint16_t kLoad = 0x1000;
constexpr uint16_t kLength = 64;
constexpr uint32_t kEdgesPerByte = 2;
constexpr uint32_t kImageStartEdge = 5 * kEdgesPerByte;  // after the load command and address

using Link = C64Link<C64Port, C64Clock>;

// Random bytes behind two RTS, init's and play's.
std::unique_ptr<SidTune> small_tune(uint32_t seed) {
    auto tune = std::make_unique<SidTune>();
    sid_tune_clear(*tune);
    std::mt19937 random(seed);
    for (uint16_t i = 2; i < kLength; ++i) tune->image[i] = static_cast<uint8_t>(random());
    tune->image[0] = tune->image[1] = 0x60;
    tune->load_address = tune->init_address = kLoad;
    tune->play_address = kLoad + 1;
    tune->length = kLength;
    tune->songs = tune->start_song = 1;
    return tune;
}

class WireFaults : public ::testing::TestWithParam<LinkVariant> {
protected:
    void SetUp() override {
        ASSERT_NE(boot_receiver(c64, read_file_bytes(ZORBIN_RECEIVER_PRG), 200000), 0);
        cable.idle(c64.cycle() - static_cast<uint64_t>(cable.now_cycles()));
        cable.set_deadline(c64.cycle() + 60ull * c64.clock_hz());
        c64.watch(kLoad);  // init
    }

    Link link() { return Link(port, clock, kPortBase, GetParam()); }

    // Uploads a fresh tune; true when it arrived whole and init ran once.
    bool upload_arrives(uint32_t seed) {
        auto tune = small_tune(seed);
        const size_t inits = c64.visits().size();
        std::atomic<int32_t> progress{0};
        if (!link().upload(*tune, 1, progress)) return false;
        for (uint16_t i = 0; i < kLength; ++i)
            if (c64.ram(static_cast<uint16_t>(kLoad + i)) != tune->image[i]) return false;
        return c64.visits().size() == inits + 1 && link().ready();
    }

    C64Machine c64;
    ParallelCable cable{c64, kPortBase};
    C64Port port{cable};
    C64Clock clock{cable};
};

// The load command, the first image byte's two nibbles and one deep inside.
TEST_P(WireFaults, AStrobeLostWhileAnImageIsSentIsSentAgain) {
    const uint32_t edges[] = {1 * kEdgesPerByte, kImageStartEdge, kImageStartEdge + 1,
                              kImageStartEdge + 40 * kEdgesPerByte + 1};
    uint32_t seed = 1;
    for (const uint32_t edge : edges) {
        cable.drop_flag_edge(edge);
        const uint32_t start_ms = cable.now_ms();
        EXPECT_TRUE(upload_arrives(seed++)) << "edge " << edge;
        EXPECT_EQ(cable.dropped_flag_edges(), seed - 1);
        EXPECT_GE(cable.now_ms() - start_ms, kRestrobeMs);
    }
}

// The song commands are not strobed again (a tune's long init would make
// that unsafe): the C64 is reported as not responding, and the receiver,
// back at rest after its gap, takes the next upload.
TEST_P(WireFaults, AStrobeLostInASongCommandIsReportedAndForgotten) {
    cable.drop_flag_edge(kImageStartEdge + kLength * kEdgesPerByte + 1 * kEdgesPerByte);
    const uint32_t start_ms = cable.now_ms();
    EXPECT_FALSE(upload_arrives(1));
    EXPECT_GE(cable.now_ms() - start_ms, kBusyLimitMs);
    EXPECT_TRUE(upload_arrives(2));
}

// An edge the CIA loses beside its ICR read (an option of the emulated
// chip), armed once the image begins. A PC whose writes take a few varying
// microseconds (bus arbitration, a card behind a bridge) lets the edges
// fall anywhere in the receiver's ICR polling.
TEST_P(WireFaults, AnEdgeTheCiaLosesBesideItsIcrReadIsSentAgain) {
    struct ArmingPort {
        ParallelCable& cable;
        Cia6526& cia;
        bool armed = false;
        uint32_t writes = 0;
        void out8(uint16_t port, uint8_t value) {
            if (!armed && cable.flag_edges() >= kImageStartEdge) {
                cia.lose_next_flag_edge_after_icr_read();
                armed = true;
            }
            cable.idle(1 + ++writes % 7);
            cable.out8(port, value);
        }
        uint8_t in8(uint16_t port) { return cable.in8(port); }
        uint16_t in16(uint16_t port) { return cable.in16(port); }
    } arming{cable, c64.cia2()};
    auto tune = small_tune(7);
    std::atomic<int32_t> progress{0};
    C64Link<ArmingPort, C64Clock> arming_link(arming, clock, kPortBase, GetParam());
    ASSERT_TRUE(arming_link.upload(*tune, 1, progress));
    EXPECT_EQ(c64.cia2().lost_flag_edges(), 1u);
    EXPECT_EQ(c64.ram(kLoad + kLength - 1), tune->image[kLength - 1]);
    EXPECT_TRUE(upload_arrives(8));
}

// A scanner driver left the port in reverse with our last nibble (bit 7
// low) in its data register: the lines float high at the C64 meanwhile.
TEST_P(WireFaults, APortLeftInReverseIsDrivenForwardAgain) {
    cable.out8(kPortBase, 0x0A);
    cable.out8(kPortBase + 2, 0xEC);
    EXPECT_TRUE(upload_arrives(3));
    EXPECT_EQ(cable.in8(kPortBase + 2), 0xCC);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, WireFaults, ::testing::Values(kFullBuildLink, kFixedBuildLink),
                         [](const auto& param_info) {
                             return param_info.param.strobes_before_low_nibble == 2 ? "FullBuild" : "FixedBuild";
                         });

// What each state of the cable shows on the status lines, and how long a
// bounded wait waits for it: a cable pulled off the C64 still shows the
// wired pattern on bits 6..3 (its PAPER-OUT and ERROR are grounded in the
// PC's plug), so only the long bound ends it.
TEST(CableStates, EachStateEndsAtItsBound) {
    const struct {
        CableState state;
        uint8_t status;  // bits 7..3
        uint32_t bound_ms;
    } cases[] = {
        {CableState::C64EndPulled, 0x50, kBusyLimitMs},
        {CableState::PcEndPulled, 0x78, kSilenceLimitMs},
        {CableState::C64Off, 0x80, kSilenceLimitMs},
    };
    for (const auto& c : cases) {
        C64Machine c64;
        ASSERT_NE(boot_receiver(c64, read_file_bytes(ZORBIN_RECEIVER_PRG), 200000), 0);
        ParallelCable cable{c64, kPortBase};
        cable.idle(c64.cycle() - static_cast<uint64_t>(cable.now_cycles()));
        cable.set_deadline(c64.cycle() + 20ull * c64.clock_hz());
        C64Port port{cable};
        C64Clock clock{cable};
        Link link(port, clock, kPortBase, kFixedBuildLink);
        ASSERT_TRUE(link.ready());
        cable.set_state(c.state);
        EXPECT_EQ(cable.in8(kPortBase + 1) & 0xF8, c.status);
        const uint32_t start_ms = cable.now_ms();
        EXPECT_FALSE(link.stop());
        EXPECT_NEAR(cable.now_ms() - start_ms, c.bound_ms, 100);
        // Plugged in again, the last nibble's low bit 7 is a stray strobe,
        // which the receiver forgets after its gap.
        cable.set_state(CableState::Wired);
        cable.idle(c64.clock_hz() / 2);
        EXPECT_TRUE(link.ready()) << "the receiver rests again";
    }
}

}  // namespace
