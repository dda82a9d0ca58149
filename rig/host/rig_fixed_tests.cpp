// The fixed-port build: port 0x278, one strobe, no progress window, message
// boxes for configuration, About and Song info.
#include "link/c64_link.h"
#include "rig/host/rig_fixture.h"

namespace {

class FixedRig : public PlayerRig {
protected:
    void SetUp() override {
        if (g_fixed_dll_path.empty()) GTEST_SKIP() << "no --fixed-dll given";
        load_as_is(g_fixed_dll_path, 0x278);
    }
};

TEST_F(FixedRig, PlaysSeeksAndStopsOnPort278) {
    PsidSpec spec = rig_tune(200, 3, 2);
    spec.data[0] = 0xA5;
    ASSERT_EQ(play(rig_tune_file("fixed.sid", spec)), 0);
    with_sim([&](C64ReceiverSim& sim) {
        EXPECT_EQ(sim.image(), spec.data);
        EXPECT_EQ(sim.song_index(), 1);
        // One strobe before the low nibble: 4 writes a byte; the first image
        // byte (0xA5) follows the 5 header bytes.
        EXPECT_EQ(sim.writes_seen(), 4u * (200 + 12) + kSetupDataWrites);
        const std::vector<uint8_t>& w = sim.data_writes();
        const size_t first = 20 + kSetupDataWrites;
        EXPECT_EQ(std::vector<uint8_t>(w.begin() + first, w.begin() + first + 4),
                  (std::vector<uint8_t>{0x80, 0x05, 0x80, 0x0A}));
        sim.reset();
        return 0;
    });
    EXPECT_EQ(host_log().set_info.back().bitrate, 2);
    module_->set_output_time(2500);
    EXPECT_EQ(with_sim([](C64ReceiverSim& sim) { return sim.song_index(); }), 2);
    EXPECT_EQ(host_log().set_info.back().bitrate, 3);
    module_->stop();
    EXPECT_FALSE(with_sim([](C64ReceiverSim& sim) { return sim.playing(); }));
    EXPECT_EQ(module_->get_output_time(), 4321);  // the output module's value
}

TEST_F(FixedRig, NoProgressWindowAndNoC64ElsewhereIsFound) {
    bool window_seen = false;
    volatile LONG done = 0;
    {
        OnThread watch([&] {
            while (!done) {
                if (find_window("#32770", "Transfering data...")) window_seen = true;
                Sleep(5);
            }
        });
        ASSERT_EQ(play(rig_tune_file("big.sid", rig_tune(3000, 1))), 0);
        InterlockedExchange(&done, 1);
    }
    EXPECT_FALSE(window_seen);
    module_->stop();

    with_sim([](C64ReceiverSim& sim) { return sim.set_port_base(0x378), 0; });
    BoxAnswerer box("Error", IDOK);
    EXPECT_EQ(play(rig_tune_file("big.sid", rig_tune(64, 1))), 1);
    ASSERT_TRUE(box.finish());
    EXPECT_EQ(box.text, "C64 not ready");
    EXPECT_TRUE(box.has_icon);
    EXPECT_FALSE(box.owned);
}

TEST_F(FixedRig, RefusedPortSaysThisBuildNeedsDirectPortAccess) {
    port_trap_enable(false);
    BoxAnswerer box("Error", IDOK);
    EXPECT_EQ(play(rig_tune_file("noaccess.sid", rig_tune(64, 1))), 1);
    ASSERT_TRUE(box.finish());
    // No driver to blame here and no administrator to ask for.
    EXPECT_EQ(box.text,
              "No access to the parallel port.\n"
              "This build needs a system that lets programs use the port directly "
              "(the Windows 9x family).\n"
              "On Windows NT, 2000 or XP use the full build.");
    EXPECT_TRUE(box.has_icon);
    EXPECT_FALSE(box.owned);
}

TEST_F(FixedRig, MessageBoxesStandInForTheDialogs) {
    ASSERT_EQ(play(rig_tune_file("playing.sid", rig_tune(64, 1))), 0);
    port_trap_reset_counts();
    struct Case {
        const char* caption;
        std::string text;
        bool owned = false;
    } config{"Configuration"}, about{"About"}, info{"Song info"};
    for (Case* c : {&config, &about}) {
        BoxAnswerer box(c->caption, IDOK);
        if (c == &config) module_->config(host_main_window());
        else module_->about(host_main_window());
        EXPECT_TRUE(box.finish()) << c->caption;
        c->text = box.text;
        c->owned = box.owned;
    }
    PsidSpec spec = rig_tune(64, 1);
    spec.author = "A";
    spec.name = "B";
    spec.copyright = "";
    {
        BoxAnswerer box("Song info", IDOK);
        EXPECT_EQ(module_->info_box(const_cast<char*>(rig_tune_file("ab.sid", spec).c_str()),
                                    host_main_window()),
                  0);
        EXPECT_TRUE(box.finish());
        info.text = box.text;
        info.owned = box.owned;
    }
    EXPECT_EQ(config.text, "No configuration.\n(bo mi sie nie chcialo zrobic.)\nLPT port: 0x0278");
    EXPECT_TRUE(config.owned);
    EXPECT_EQ(about.text.find("SID Zorbin plugin"), 0u);
    EXPECT_TRUE(about.owned);
    EXPECT_EQ(info.text, "Author:\t\tA\t\nSong name:\tB\nCopyright:\t\t");
    const PortTrapCounts counts = port_trap_counts();
    EXPECT_EQ(counts.in8 + counts.in16 + counts.out8, 0u);  // the playing C64 is left alone
    char title[1024];
    int length = 0;
    module_->get_file_info(nullptr, title, &length);
    EXPECT_EQ(length, 150000);
}

// A whole track: 15000 rounds of 10 ms, 150 s on the DLL's clock run fast.
TEST_F(FixedRig, TrackEndsAfterItsFixedTime) {
    ASSERT_TRUE(run_clock_fast(50));
    ASSERT_EQ(play(rig_tune_file("long.sid", rig_tune(64, 1))), 0);
    const DWORD start = fast_clock_now();
    EXPECT_TRUE(host_pump_until([] { return host_log().end_of_track > 0; }, 60000));
    EXPECT_GE(fast_clock_now() - start, 150000u);
    EXPECT_EQ(fast_clock_sleeps(10), 15000u);
    EXPECT_EQ(host_log().repeat_queries, 1);
}

}  // namespace
