// The real DLLs drive our receiver in an emulated C64 through the cable
// model: upload, song start, a sub-song change and a stop, as a user's C64
// would see them.
#include "rig/host/c64_session.h"
#include "rig/host/rig_fixture.h"

extern std::string g_receiver_prg;  // "" = these tests are skipped
extern std::string g_demo_tune;

namespace {

constexpr uint16_t kDemoInit = 0x1000, kDemoPlay = 0x1003;

class RigC64 : public PlayerRig, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        if (g_receiver_prg.empty() || g_demo_tune.empty()) GTEST_SKIP() << "no --receiver/--demo";
        const bool fixed = GetParam();
        if (fixed && g_fixed_dll_path.empty()) GTEST_SKIP() << "no --fixed-dll";
        const uint16_t port = fixed ? 0x278 : 0x378;
        rig_write_settings(port, kNoTime, 1);
        session_.reset(new C64Session(g_receiver_prg, port));
        ASSERT_TRUE(session_->booted());
        session_->c64().watch(kDemoInit);
        session_->c64().watch(kDemoPlay);
        load_as_is(fixed ? g_fixed_dll_path : g_dll_path, port);
    }
    void TearDown() override {
        PlayerRig::TearDown();
        session_.reset();
    }
    std::unique_ptr<C64Session> session_;
};

TEST_P(RigC64, PlaysTheDemoTuneSwitchesAndStops) {
    ASSERT_EQ(play(g_demo_tune), 0);
    C64Machine& c64 = session_->c64();
    const uint64_t started = c64.cycle();
    session_->run_ms(1000);
    C64Session::Activity a = session_->activity_since(started, kDemoPlay);
    EXPECT_NEAR(a.play_calls, 50u, 2u);
    EXPECT_GT(a.sid_writes, 0u);
    ASSERT_FALSE(c64.visits().empty());
    EXPECT_EQ(c64.visits().front().address, kDemoInit);
    EXPECT_EQ(c64.visits().front().a, 0);  // start song 1

    module_->set_output_time(2000);  // sub-song 3
    const uint64_t switched = c64.cycle();
    session_->run_ms(500);
    bool init_with_song_3 = false;
    for (const WatchVisit& v : c64.visits())
        if (v.address == kDemoInit && v.cycle >= switched - 100000 && v.a == 2) init_with_song_3 = true;
    EXPECT_TRUE(init_with_song_3);
    EXPECT_GT(session_->activity_since(switched, kDemoPlay).play_calls, 20u);

    module_->stop();
    const uint64_t stopped = c64.cycle();
    session_->run_ms(500);
    a = session_->activity_since(stopped + 20000, kDemoPlay);
    EXPECT_EQ(a.play_calls, 0u);
}

// A port a scanner driver left in reverse mode, and a strobe edge lost deep
// inside the image: the DLL sets the port forward and, after about 100 ms
// of its own clock, strobes the waiting nibble again.
TEST_P(RigC64, APortLeftInReverseAndALostStrobeInTheImageStillPlay) {
    const uint16_t port = GetParam() ? 0x278 : 0x378;
    ParallelCable& cable = session_->cable();
    {
        SimLock lock;
        cable.out8(port + 2, 0xEC);
        cable.drop_flag_edge(5 * 2 + 200);  // 100 bytes into the image
    }
    ASSERT_EQ(play(g_demo_tune), 0);
    C64Machine& c64 = session_->c64();
    const uint64_t started = c64.cycle();
    session_->run_ms(1000);
    EXPECT_NEAR(session_->activity_since(started, kDemoPlay).play_calls, 50u, 2u);
    SimLock lock;
    EXPECT_EQ(cable.dropped_flag_edges(), 1u);
    EXPECT_EQ(cable.in8(port + 2), 0xCC);
}

// The build puts the test tunes next to the receiver's folder:
// <build>/receiver/receiver.prg and <build>/tests/tunes/<name>.
std::string test_tune(const char* name) {
    const size_t folder = g_receiver_prg.find_last_of("\\/");
    const size_t build = folder == std::string::npos ? std::string::npos : g_receiver_prg.find_last_of("\\/", folder - 1);
    if (build == std::string::npos) return "";
    return g_receiver_prg.substr(0, build + 1) + "tests\\tunes\\" + name;
}

// A tune that writes page zero, $02A7-$02FF, the tape buffer and deep into
// the stack page while it plays; then a sub-song change and the next tune,
// whose upload must not run damaged receiver code.
TEST_P(RigC64, TheNextTuneAfterOneThatWritesLowMemoryPlays) {
    const std::string hostile = test_tune("hostile.sid"), speeds = test_tune("speeds.sid");
    C64Machine& c64 = session_->c64();
    ASSERT_EQ(play(hostile), 0) << hostile;
    const uint64_t started = c64.cycle();
    session_->run_ms(1000);
    EXPECT_NEAR(session_->activity_since(started, kDemoPlay).play_calls, 50u, 2u);
    module_->set_output_time(1000);  // sub-song 2: interrupts on in init
    session_->run_ms(500);
    module_->stop();
    ASSERT_EQ(play(speeds), 0) << speeds;  // start song 2: 100 Hz
    const uint64_t second = c64.cycle();
    session_->run_ms(1000);
    EXPECT_NEAR(session_->activity_since(second, kDemoPlay).play_calls, 100u, 3u);
    EXPECT_FALSE(c64.cpu().jammed());
}

INSTANTIATE_TEST_SUITE_P(Builds, RigC64, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& build) {
                             return build.param ? "Fixed" : "Full";
                         });

}  // namespace
