// The play-time timer: the track's end, the host's repeat, and stop while
// the timer talks to the host (or a nested play starts the next track).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "rig/host/rig_fixture.h"

namespace {

class RigTimer : public PlayerRig {
protected:
    void SetUp() override { load(1000); }  // a one-second track
};

TEST_F(RigTimer, EndsTheTrackOnceWhenRepeatIsOff) {
    ASSERT_EQ(play(rig_tune_file("short.sid", rig_tune(64, 1))), 0);
    std::vector<int> positions;
    EXPECT_TRUE(host_pump_until(
        [&] {
            positions.push_back(module_->get_output_time());
            return host_log().end_of_track > 0;
        },
        6000));
    host_pump(700);
    EXPECT_EQ(host_log().end_of_track, 1);
    EXPECT_EQ(host_log().repeat_queries, 1);
    for (size_t i = 0; i < positions.size(); ++i) {
        EXPECT_EQ(positions[i] % 200, 0) << positions[i];
        if (i > 0 && positions[i] != 0) {
            EXPECT_GE(positions[i], positions[i - 1]);
        }
    }
    EXPECT_EQ(module_->get_output_time(), 0);  // reset with the end of the track
}

TEST_F(RigTimer, KeepsPlayingWhenRepeatIsOn) {
    host_set_repeat(true);
    ASSERT_EQ(play(rig_tune_file("short.sid", rig_tune(64, 1))), 0);
    EXPECT_TRUE(host_pump_until([] { return host_log().repeat_queries > 0; }, 6000));
    host_pump(700);
    EXPECT_EQ(host_log().end_of_track, 0);
    EXPECT_EQ(host_log().repeat_queries, 1);
    EXPECT_GE(module_->get_output_time(), 1000);
}

TEST_F(RigTimer, StopEndsTheTimerQuietly) {
    ASSERT_EQ(play(rig_tune_file("short.sid", rig_tune(64, 1))), 0);
    host_pump(300);
    const DWORD start = GetTickCount();
    module_->stop();
    EXPECT_LT(GetTickCount() - start, 400u);
    host_pump(1500);
    EXPECT_EQ(host_log().end_of_track, 0);
    EXPECT_EQ(host_log().repeat_queries, 0);
}

// Stops the track; a stop that does not come back within 15 s ends the rig
// with `complaint` (a hang would otherwise stall the whole run).
void stop_or_end_the_rig(InModule* module, const char* complaint) {
    HANDLE stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OnThread watchdog([stopped, complaint] {
        if (WaitForSingleObject(stopped, 15000) != WAIT_OBJECT_0) {
            std::fprintf(stderr, "%s\n", complaint);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    module->stop();
    SetEvent(stopped);
    watchdog.join();
    CloseHandle(stopped);
}

TEST_F(RigTimer, StopWhileTheRepeatQueryWaitsDoesNotHang) {
    // The track's time runs out while the player's thread is busy (not
    // pumping): the timer's repeat query waits for it. Stop is then called
    // on that same thread and must not wait for the timer forever.
    ASSERT_EQ(play(rig_tune_file("race.sid", rig_tune(64, 1))), 0);
    // The timer sends the query right after its count reaches the track's
    // second, with no wait in between; the margin covers those few steps.
    ASSERT_TRUE(wait_until([this] { return module_->get_output_time() >= 1000; }));
    Sleep(200);
    stop_or_end_the_rig(module_, "stop hung while the repeat query waited");
    host_pump(300);
    EXPECT_EQ(host_log().repeat_queries, 1);  // answered during stop's wait
    EXPECT_EQ(host_log().end_of_track, 0);    // and nothing after the stop
}

TEST_F(RigTimer, StopAfterTheHostLookedAtItsQueueDoesNotHang) {
    // As above, but the player's thread has looked at its queue after the
    // query arrived (as a busy host's GetQueueStatus does): the query is then
    // no longer new when stop waits.
    ASSERT_EQ(play(rig_tune_file("seen.sid", rig_tune(64, 1))), 0);
    ASSERT_TRUE(wait_until(
        [] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; }));
    stop_or_end_the_rig(module_, "stop hung on a repeat query already looked at");
    host_pump(300);
    EXPECT_EQ(host_log().repeat_queries, 1);
    EXPECT_EQ(host_log().end_of_track, 0);
}

TEST_F(PlayerRig, APlayDuringStopsWaitKeepsItsNewTrack) {
    // Stop answers sent messages while it waits for the timer; the host may
    // start the next track from one of them (with or without a stop first,
    // as a player switching tracks does). The outer stop must then leave
    // that track alone: its timer, its output and the C64.
    unload();
    load(3000);
    PsidSpec next = rig_tune(64, 1);
    next.play = 0x1600;
    const std::string first_path = rig_tune_file("first.sid", rig_tune(64, 1));
    const std::string next_path = rig_tune_file("next.sid", next);
    for (bool stop_first : {false, true}) {
        SCOPED_TRACE(stop_first ? "stop, then play" : "play");
        ASSERT_EQ(play(first_path), 0);
        int nested = -99;
        host_on_app_message([&] {
            if (stop_first) module_->stop();
            nested = play(next_path);
        });
        host_clear_log();
        OnThread sender([] { SendMessageA(host_main_window(), WM_APP, 0, 0); });
        Sleep(300);  // the message now waits for this thread
        const DWORD start = GetTickCount();
        module_->stop();
        const DWORD took = GetTickCount() - start;
        sender.join();
        host_on_app_message(nullptr);

        EXPECT_EQ(nested, 0);
        EXPECT_LT(took, 1500u);  // not the new track's 3 s
        EXPECT_EQ(host_log().output_calls.back(), "pause(0)");  // no close after the new start
        with_sim([](C64ReceiverSim& sim) {
            EXPECT_TRUE(sim.playing());
            EXPECT_EQ(sim.play_address(), 0x1600);
            EXPECT_EQ(sim.commands().back().code, 0x82);  // no stop after the new start
            return 0;
        });
        // The new track's own timer still ends it.
        EXPECT_TRUE(host_pump_until([] { return host_log().end_of_track > 0; }, 10000));
        host_pump(500);
        EXPECT_EQ(host_log().end_of_track, 1);
        module_->stop();
    }
}

}  // namespace
