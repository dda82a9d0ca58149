// The real DLL, loaded as the player loads it, its port instructions
// trapped and answered by the simulated receiver: the module record, play,
// seek, stop and the refusals that end in a message.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

#include "link/c64_link.h"
#include "rig/host/rig_fixture.h"

namespace {

int thread_count() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{sizeof entry};
    int count = 0;
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

TEST_F(PlayerRig, ModuleRecordAsTheHostSeesIt) {
    EXPECT_EQ(module_->version, 0x100);
    EXPECT_STREQ(module_->description, "SID Zorbin plugin(x86)");
    const char* ext = module_->extensions;
    EXPECT_STREQ(ext, "sid");
    ext += std::strlen(ext) + 1;
    EXPECT_STREQ(ext, "PSID file (*.sid)");
    ext += std::strlen(ext) + 1;
    EXPECT_EQ(*ext, '\0');
    EXPECT_EQ(module_->is_seekable, 1);
    EXPECT_EQ(module_->uses_output, 1);
    void* const* slots = reinterpret_cast<void* const*>(&module_->config);
    for (int i = 0; i < 17; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
    for (int i = 17; i < 29; ++i) EXPECT_EQ(slots[i], nullptr) << "host slot " << i;
}

TEST_F(PlayerRig, PlaysATuneAndTellsTheHost) {
    const PsidSpec spec = rig_tune(3000, 5, 3);
    const std::string path = rig_tune_file("play.sid", spec);
    port_trap_reset_counts();
    ASSERT_EQ(play(path), 0);
    with_sim([&](C64ReceiverSim& sim) {
        EXPECT_EQ(sim.image_length(), 3000);
        EXPECT_EQ(sim.load_address(), 0x1234);
        EXPECT_EQ(sim.image(), spec.data);
        EXPECT_EQ(sim.init_address(), 0x1234);
        EXPECT_EQ(sim.song_index(), 2);  // start song 3
        EXPECT_EQ(sim.play_address(), 0x1567);
        EXPECT_TRUE(sim.playing());
        EXPECT_EQ(sim.bytes().size(), 3000u + 12u);
        return 0;
    });
    // One OUT per strobe or nibble, two word reads per byte, one byte read
    // for the ready probe, and the port set forward first.
    const PortTrapCounts counts = port_trap_counts();
    EXPECT_EQ(counts.out8, 5u * 3012u + kSetupDataWrites + kSetupControlWrites);
    EXPECT_EQ(counts.in16, 2u * 3012u);
    EXPECT_EQ(counts.in8, 1u + kSetupControlReads);
    const HostLog& log = host_log();
    ASSERT_EQ(log.set_info.size(), 1u);
    EXPECT_EQ(log.set_info[0].bitrate, 3);
    EXPECT_EQ(log.set_info[0].sample_rate, 5);
    EXPECT_EQ(log.set_info[0].stereo, 0);
    EXPECT_EQ(log.set_info[0].synched, 0);
    ASSERT_EQ(log.output_calls, std::vector<std::string>{"pause(0)"});
    EXPECT_EQ(module_->is_seekable, 1);
    EXPECT_EQ(module_->get_length(), 4999);
}

TEST_F(PlayerRig, SeekableOnlyWithMoreThanOneSong) {
    ASSERT_EQ(play(rig_tune_file("one.sid", rig_tune(64, 1))), 0);
    EXPECT_EQ(module_->is_seekable, 0);
    EXPECT_EQ(module_->get_length(), 999);
    module_->stop();
    ASSERT_EQ(play(rig_tune_file("two.sid", rig_tune(64, 2))), 0);
    EXPECT_EQ(module_->is_seekable, 1);
    EXPECT_EQ(module_->get_length(), 1999);
}

TEST_F(PlayerRig, SeekRestartsAtTheChosenSong) {
    ASSERT_EQ(play(rig_tune_file("seek.sid", rig_tune(64, 2))), 0);
    with_sim([](C64ReceiverSim& sim) { return sim.reset(), 0; });
    host_clear_log();
    module_->set_output_time(1500);
    with_sim([](C64ReceiverSim& sim) {
        EXPECT_EQ(sim.bytes(), (std::vector<uint8_t>{0x83, 0, 0, 0x81, 0x34, 0x12, 1, 0x82, 0x67,
                                                     0x15}));
        return 0;
    });
    ASSERT_EQ(host_log().set_info.size(), 1u);
    EXPECT_EQ(host_log().set_info[0].bitrate, 2);
    EXPECT_EQ(host_log().output_calls, std::vector<std::string>{"pause(0)"});
}

TEST_F(PlayerRig, RefusedTuneAndMissingC64) {
    ASSERT_EQ(play(rig_tune_file("three.sid", rig_tune(64, 3))), 0);
    module_->stop();
    EXPECT_EQ(module_->get_length(), 2999);

    // No C64: the message, result 1, and the previous tune still counts.
    with_sim([](C64ReceiverSim& sim) { return sim.set_mode(C64ReceiverSim::Mode::Absent), 0; });
    {
        BoxAnswerer box("Error", IDOK);
        EXPECT_EQ(play(rig_tune_file("two.sid", rig_tune(64, 2))), 1);
        ASSERT_TRUE(box.finish());
        EXPECT_EQ(box.text, "C64 not ready. Check cable.");
        EXPECT_TRUE(box.has_icon);
        EXPECT_FALSE(box.owned);
    }
    EXPECT_EQ(module_->get_length(), 2999);

    // A refused tune: -1, no message, and nothing to play any more.
    with_sim([](C64ReceiverSim& sim) { return sim.set_mode(C64ReceiverSim::Mode::Present), 0; });
    PsidSpec basic = rig_tune(64, 2);
    basic.load = 0x0801;
    basic.init = 0x0801;
    const uint32_t writes = with_sim([](C64ReceiverSim& sim) { return sim.writes_seen(); });
    EXPECT_EQ(play(rig_tune_file("basic.sid", basic)), -1);
    EXPECT_EQ(module_->get_length(), -1);
    EXPECT_EQ(with_sim([](C64ReceiverSim& sim) { return sim.writes_seen(); }), writes);
}

TEST_F(PlayerRig, UnpauseAndVolumeTouchOnlyTheOutputModule) {
    ASSERT_EQ(play(rig_tune_file("pause.sid", rig_tune(64, 1))), 0);
    host_clear_log();
    port_trap_reset_counts();
    module_->pause();
    module_->unpause();
    EXPECT_EQ(module_->is_paused(), 0);
    module_->set_volume(77);
    module_->set_pan(-12);
    EXPECT_EQ(host_log().output_calls,
              (std::vector<std::string>{"pause(0)", "set_volume(77)", "set_pan(-12)"}));
    const PortTrapCounts counts = port_trap_counts();
    EXPECT_EQ(counts.in8 + counts.in16 + counts.out8, 0u);
}

TEST_F(PlayerRig, StopWithAndWithoutAC64) {
    ASSERT_EQ(play(rig_tune_file("stop.sid", rig_tune(64, 1))), 0);
    host_clear_log();
    with_sim([](C64ReceiverSim& sim) { return sim.reset(), 0; });
    module_->stop();
    EXPECT_EQ(host_log().output_calls, std::vector<std::string>{"close"});
    EXPECT_EQ(with_sim([](C64ReceiverSim& sim) { return sim.bytes(); }),
              (std::vector<uint8_t>{0x83, 0, 0}));

    ASSERT_EQ(play(rig_tune_file("stop.sid", rig_tune(64, 1))), 0);
    host_clear_log();
    with_sim([](C64ReceiverSim& sim) {
        sim.reset();
        sim.set_mode(C64ReceiverSim::Mode::Absent);
        return 0;
    });
    const DWORD start = GetTickCount();
    module_->stop();
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(host_log().output_calls, std::vector<std::string>{"close"});
    EXPECT_EQ(with_sim([](C64ReceiverSim& sim) { return sim.writes_seen(); }), 0u);
    host_pump(400);
    EXPECT_EQ(host_log().end_of_track, 0);
}

TEST_F(PlayerRig, AC64OnAnotherPortIsNeverFound) {
    with_sim([](C64ReceiverSim& sim) { return sim.set_port_base(0x278), 0; });
    BoxAnswerer box("Error", IDOK);
    EXPECT_EQ(play(rig_tune_file("elsewhere.sid", rig_tune(64, 1))), 1);
    ASSERT_TRUE(box.finish());
    EXPECT_EQ(box.text, "C64 not ready. Check cable.");
    EXPECT_EQ(with_sim([](C64ReceiverSim& sim) { return sim.writes_seen(); }), 0u);
}

TEST_F(PlayerRig, RefusedPortAccessIsAMessageNotACrash) {
    port_trap_enable(false);
    {
        BoxAnswerer box("Error", IDOK);
        EXPECT_EQ(play(rig_tune_file("noaccess.sid", rig_tune(64, 1))), 1);
        ASSERT_TRUE(box.finish());
        EXPECT_EQ(box.text.rfind("No access to the parallel port.", 0), 0u) << box.text;
    }
    module_->set_output_time(1000);  // skipped silently
    module_->stop();                 // likewise
    EXPECT_EQ(host_log().output_calls, std::vector<std::string>{"close"});
}

TEST_F(PlayerRig, NoPortValueCrashesTheHost) {
    // Hand-edited "Port" values whose status register (base + 1) the driver
    // opens, with a C64 answering there, but whose data register or word
    // read of the status runs outside what it opens.
    for (DWORD port : {0x377u, 0x37Eu, 0x27Eu, 0x3BEu, 0x3BBu}) {
        SCOPED_TRACE(port);
        unload();
        rig_write_settings(port, kNoTime, 1);
        load_as_is(g_dll_path, static_cast<uint16_t>(port));
        port_trap_reset_counts();
        {
            BoxAnswerer box("Error", IDOK, 8000);
            EXPECT_EQ(play(rig_tune_file("odd_port.sid", rig_tune(64, 2))), 1);
            ASSERT_TRUE(box.finish());
            EXPECT_EQ(box.text.rfind("No access to the parallel port.", 0), 0u) << box.text;
        }
        module_->set_output_time(1000);  // skipped silently, as stop
        module_->stop();
        EXPECT_EQ(port_trap_counts().out8, 0u);
        EXPECT_EQ(find_window("#32770", "Error"), nullptr);
    }
    // All three registers inside one opened range: plays as usual.
    unload();
    rig_write_settings(0x37D, kNoTime, 1);
    load_as_is(g_dll_path, 0x37D);
    EXPECT_EQ(play(rig_tune_file("odd_port.sid", rig_tune(64, 2))), 0);
    EXPECT_TRUE(with_sim([](C64ReceiverSim& sim) { return sim.playing(); }));
}

TEST_F(PlayerRig, PlayAgainWithoutStopKeepsOneTimer) {
    const std::string path = rig_tune_file("again.sid", rig_tune(64, 1));
    ASSERT_EQ(play(path), 0);
    const int threads = thread_count();
    ASSERT_EQ(play(path), 0);
    ASSERT_EQ(play(path), 0);
    EXPECT_EQ(thread_count(), threads);
}

// Not a timed test: prints what play costs beyond the transfer (the head
// start given to the progress window and the monitor's end) and how long
// stop takes, for the record. Bounds are loose; the figures are the point.
TEST_F(PlayerRig, PlayOverheadAndStopTimeFigures) {
    const std::string empty = rig_tune_file("overhead.sid", [] {
        PsidSpec spec = rig_tune(0, 1);
        spec.init = spec.play = spec.load;
        return spec;
    }());
    DWORD worst_play = 0, worst_stop = 0;
    for (int round = 0; round < 5; ++round) {
        DWORD start = GetTickCount();
        ASSERT_EQ(play(empty), 0);
        const DWORD play_ms = GetTickCount() - start;
        host_pump(50);
        start = GetTickCount();
        module_->stop();
        const DWORD stop_ms = GetTickCount() - start;
        worst_play = play_ms > worst_play ? play_ms : worst_play;
        worst_stop = stop_ms > worst_stop ? stop_ms : worst_stop;
    }
    std::printf("[ FIGURES  ] play of an empty tune (12 bytes on the wire): worst %lu ms; "
                "stop: worst %lu ms\n",
                static_cast<unsigned long>(worst_play), static_cast<unsigned long>(worst_stop));
    EXPECT_LT(worst_stop, 400u);
    EXPECT_LT(worst_play, 500u);
}

}  // namespace
