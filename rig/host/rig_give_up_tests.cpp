// A C64 that stops answering after a good start or within the closing
// commands: the link gives up after its bound, the user is told, and the
// track ends exactly once. The bound passes on the DLL's fast clock.
#include <gtest/gtest.h>
#include <windows.h>

#include "rig/host/rig_fixture.h"

namespace {

TEST_F(PlayerRig, SilentC64WhereNoMonitorWatches) {
    // Silent after the image, with the status lines of a C64 that is on and
    // wired: the closing commands give up after about 12 s (an init may
    // take seconds; a missing C64 would be given up after 2 s).
    // Those seconds pass on the DLL's clock, run fast.
    ASSERT_TRUE(run_clock_fast(20));
    const PsidSpec spec = rig_tune(100, 2);
    with_sim([](C64ReceiverSim& sim) { return sim.stall_after(5 + 100 + 2), 0; });
    {
        BoxAnswerer box("Error", IDOK);
        const DWORD start = fast_clock_now();
        EXPECT_EQ(play(rig_tune_file("tail.sid", spec)), 1);
        const DWORD took = fast_clock_now() - start;
        EXPECT_GE(took, 11900u);
        EXPECT_LT(took, 18000u);
        ASSERT_TRUE(box.finish());
        EXPECT_EQ(box.text, "C64 not responding. Check cable.");
    }
    EXPECT_TRUE(host_log().set_info.empty());

    // A good start, then silence: a seek changes nothing, stop still ends.
    with_sim([](C64ReceiverSim& sim) { return sim.resume(), sim.reset(), 0; });
    ASSERT_EQ(play(rig_tune_file("tail.sid", spec)), 0);
    host_clear_log();
    with_sim([](C64ReceiverSim& sim) { return sim.stall_after(0), 0; });
    {
        BoxAnswerer box("Error", IDOK);
        module_->set_output_time(1000);
        EXPECT_TRUE(box.finish());
    }
    EXPECT_TRUE(host_log().set_info.empty());
    EXPECT_TRUE(host_log().output_calls.empty());
    EXPECT_TRUE(host_pump_until([] { return host_log().end_of_track > 0; }, 2000));
    const DWORD start = fast_clock_now();
    module_->stop();
    EXPECT_LT(fast_clock_now() - start, 18000u);
    EXPECT_EQ(host_log().output_calls, std::vector<std::string>{"close"});
}

TEST_F(PlayerRig, ASubSongChangeThatGivesUpSaysSoAndEndsTheTrack) {
    // Stalled but wired: the link waits its long limit (12 s of the DLL's
    // fast clock) first. The track lasts 20 s: its own end would come within
    // the time looked at below, were its timer not ended with the change.
    unload();
    load(20000);
    ASSERT_TRUE(run_clock_fast(20));
    ASSERT_EQ(play(rig_tune_file("gives_up.sid", rig_tune(64, 3))), 0);
    host_clear_log();
    with_sim([](C64ReceiverSim& sim) { return sim.stall_after(0), 0; });
    BoxAnswerer box("Error", IDOK);
    module_->set_output_time(2000);
    ASSERT_TRUE(box.finish());
    EXPECT_EQ(box.text, "C64 not responding. Check cable.");
    EXPECT_TRUE(box.has_icon);
    EXPECT_FALSE(box.owned);
    // The C64 plays no new song: the host is not told one, and the track
    // ends (once: its timer is over too, so no query comes).
    EXPECT_TRUE(host_log().set_info.empty());
    EXPECT_TRUE(pump_dll_time(20000));
    EXPECT_EQ(host_log().end_of_track, 1);
    EXPECT_EQ(host_log().repeat_queries, 0);
    EXPECT_EQ(module_->get_output_time(), 0);
}

struct ErrorBoxSearch {
    HWND other, found;
};

BOOL CALLBACK match_other_error_box(HWND w, LPARAM param) {
    auto& s = *reinterpret_cast<ErrorBoxSearch*>(param);
    char cls[16] = "";
    GetClassNameA(w, cls, sizeof cls);
    if (w == s.other || !IsWindowVisible(w) || lstrcmpA(cls, "#32770") != 0 ||
        window_text(w) != "Error")
        return TRUE;
    s.found = w;
    return FALSE;
}

// A visible message box captioned "Error" other than `other`.
HWND error_box_other_than(HWND other) {
    ErrorBoxSearch search{other, nullptr};
    EnumWindows(match_other_error_box, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(PlayerRig, ASecondFailedChangeWhileTheFirstSaysSoEndsTheTrackOnce) {
    // The player seeks again while the first failure's message is up (its
    // loop runs the player's messages): that change fails too. The player
    // must get one end-of-track, not one from each: a second skips an entry.
    unload();
    load(kNoTime);
    ASSERT_TRUE(run_clock_fast(20));
    ASSERT_EQ(play(rig_tune_file("twice.sid", rig_tune(64, 3))), 0);
    host_clear_log();
    with_sim([](C64ReceiverSim& sim) { return sim.stall_after(0), 0; });
    host_on_app_message([this] { module_->set_output_time(1000); });
    bool second_seen = false;
    OnThread user([&second_seen] {
        HWND first = wait_for_window("#32770", "Error", 20000);
        if (first == nullptr) return;
        OnThread player([] { SendMessageA(host_main_window(), WM_APP, 0, 0); });
        HWND second = nullptr;
        wait_until([&] { return (second = error_box_other_than(first)) != nullptr; }, 20000);
        if (second != nullptr) {
            second_seen = true;
            press_button(second, IDOK);
        }
        player.join();
        press_button(first, IDOK);
    });
    module_->set_output_time(2000);
    user.join();
    host_on_app_message(nullptr);
    EXPECT_TRUE(second_seen);
    host_pump(500);
    EXPECT_EQ(host_log().end_of_track, 1);
    EXPECT_TRUE(host_log().set_info.empty());
}

}  // namespace
