// The real DLL, loaded as the player loads it, its port instructions
// trapped and answered by the simulated receiver.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

#include "rig/host/player_host.h"
#include "rig/host/port_trap.h"
#include "rig/host/rig_fixture.h"
#include "rig/host/rig_support.h"


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

TEST_F(Rig, ModuleRecordAsTheHostSeesIt) {
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

TEST_F(Rig, PlaysATuneAndTellsTheHost) {
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
    // for the ready probe.
    const PortTrapCounts counts = port_trap_counts();
    EXPECT_EQ(counts.out8, 5u * 3012u);
    EXPECT_EQ(counts.in16, 2u * 3012u);
    EXPECT_EQ(counts.in8, 1u);
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

TEST_F(Rig, SeekableOnlyWithMoreThanOneSong) {
    ASSERT_EQ(play(rig_tune_file("one.sid", rig_tune(64, 1))), 0);
    EXPECT_EQ(module_->is_seekable, 0);
    EXPECT_EQ(module_->get_length(), 999);
    module_->stop();
    ASSERT_EQ(play(rig_tune_file("two.sid", rig_tune(64, 2))), 0);
    EXPECT_EQ(module_->is_seekable, 1);
    EXPECT_EQ(module_->get_length(), 1999);
}

TEST_F(Rig, SeekRestartsAtTheChosenSong) {
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

TEST_F(Rig, RefusedTuneAndMissingC64) {
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

TEST_F(Rig, UnpauseAndVolumeTouchOnlyTheOutputModule) {
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

TEST_F(Rig, StopWithAndWithoutAC64) {
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

TEST_F(Rig, AC64OnAnotherPortIsNeverFound) {
    with_sim([](C64ReceiverSim& sim) { return sim.set_port_base(0x278), 0; });
    BoxAnswerer box("Error", IDOK);
    EXPECT_EQ(play(rig_tune_file("elsewhere.sid", rig_tune(64, 1))), 1);
    ASSERT_TRUE(box.finish());
    EXPECT_EQ(box.text, "C64 not ready. Check cable.");
    EXPECT_EQ(with_sim([](C64ReceiverSim& sim) { return sim.writes_seen(); }), 0u);
}

TEST_F(Rig, RefusedPortAccessIsAMessageNotACrash) {
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

TEST_F(Rig, NoPortValueCrashesTheHost) {
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

TEST_F(Rig, SilentC64WhereNoMonitorWatches) {
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
    }
    EXPECT_TRUE(host_log().set_info.empty());
    EXPECT_TRUE(host_log().output_calls.empty());
    EXPECT_TRUE(host_pump_until([] { return host_log().end_of_track > 0; }, 2000));
    const DWORD start = fast_clock_now();
    module_->stop();
    EXPECT_LT(fast_clock_now() - start, 18000u);
    EXPECT_EQ(host_log().output_calls, std::vector<std::string>{"close"});
}

TEST_F(Rig, ASubSongChangeThatGivesUpSaysSoAndEndsTheTrack) {
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

TEST_F(Rig, ASecondFailedChangeWhileTheFirstSaysSoEndsTheTrackOnce) {
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

TEST_F(Rig, PlayAgainWithoutStopKeepsOneTimer) {
    const std::string path = rig_tune_file("again.sid", rig_tune(64, 1));
    ASSERT_EQ(play(path), 0);
    const int threads = thread_count();
    ASSERT_EQ(play(path), 0);
    ASSERT_EQ(play(path), 0);
    EXPECT_EQ(thread_count(), threads);
}

class RigTimer : public Rig {
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

TEST_F(Rig, APlayDuringStopsWaitKeepsItsNewTrack) {
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

// Watches the progress window from its own thread while play holds the
// main thread in the transfer.
struct ProgressWatcher {
    std::vector<std::string> labels;
    HWND window = nullptr;
    bool window_at_corner = false, caption_less = false;
    std::string title;
    HANDLE thread = nullptr;
    volatile LONG done = 0;

    static DWORD WINAPI run(void* param) {
        ProgressWatcher& self = *static_cast<ProgressWatcher*>(param);
        while (!self.done) {
            HWND w = find_window("#32770", "Transfering data...");
            if (w != nullptr) {
                if (self.window == nullptr) {
                    RECT r;
                    GetWindowRect(w, &r);
                    self.window_at_corner = r.left == 0 && r.top == 0;
                    self.caption_less = !window_has_style(w, WS_CAPTION);
                    self.title = window_text(w);
                }
                self.window = w;
                const std::string label = static_text(w, 1020);
                if (self.labels.empty() || self.labels.back() != label) self.labels.push_back(label);
            }
            Sleep(20);
        }
        return 0;
    }
    void start() { thread = CreateThread(nullptr, 0, run, this, 0, nullptr); }
    void stop() {
        InterlockedExchange(&done, 1);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
};

bool with_sim_stalled() {
    SimLock lock;
    return port_trap_sim().stalled();
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    for (const auto& x : v)
        if (x == s) return true;
    return false;
}


struct StallAnswers {
    int asked = 0;
    std::string text;
    DWORD first_timeout_label = 0, first_question = 0, second_question = 0;
    ProgressWatcher* watcher;
};

// Answers the stall question twice: OK the first time (keep waiting), then
// lets the receiver answer again and presses OK once more.
DWORD WINAPI answer_stall_questions(void* param) {
    StallAnswers& a = *static_cast<StallAnswers*>(param);
    // The window first: wait for "(timeout)" and take its picture.
    for (DWORD t = GetTickCount(); GetTickCount() - t < 20000;) {
        HWND w = find_window("#32770", "Transfering data...");
        if (w && static_text(w, 1020).find("(timeout)") != std::string::npos) {
            a.first_timeout_label = GetTickCount();
            shoot(w, "progress-window");
            break;
        }
        Sleep(10);
    }
    for (int round = 0; round < 2; ++round) {
        HWND box = wait_for_window("#32770", "Error", 20000);
        if (box == nullptr) return 0;
        (round == 0 ? a.first_question : a.second_question) = GetTickCount();
        a.text = message_box_text(box);
        ++a.asked;
        if (round == 0) {
            shoot(box, "transfer-timeout");
        } else {
            SimLock lock;
            port_trap_sim().resume();  // the C64 answers again
        }
        press_button(box, IDOK);
        wait_until([box] { return !IsWindowVisible(box); });  // not found again
    }
    return 0;
}

TEST_F(Rig, ProgressWindowAndTheStallQuestion) {
    const PsidSpec spec = rig_tune(4000, 1);
    with_sim([](C64ReceiverSim& sim) { return sim.stall_after(5 + 1500), 0; });
    ProgressWatcher watcher;
    watcher.start();

    StallAnswers answers;
    answers.watcher = &watcher;
    HANDLE answerer = CreateThread(nullptr, 0, answer_stall_questions, &answers, 0, nullptr);

    EXPECT_EQ(play(rig_tune_file("stall.sid", spec)), 0);
    WaitForSingleObject(answerer, INFINITE);
    CloseHandle(answerer);
    watcher.stop();

    EXPECT_EQ(answers.asked, 2);
    EXPECT_EQ(answers.text, "Transfer timeout. Retry?");
    EXPECT_TRUE(contains(watcher.labels, "Transfering data...1499 bytes (timeout)"));
    EXPECT_TRUE(watcher.window_at_corner);
    EXPECT_TRUE(watcher.caption_less);
    EXPECT_EQ(watcher.title, "Transfering data...");
    // "(timeout)" after two still samples; the question after 21 (~1.7 s),
    // then after 11 more (~0.9 s).
    ASSERT_NE(answers.first_timeout_label, 0u);
    const DWORD to_question = answers.first_question - answers.first_timeout_label;
    EXPECT_GT(to_question, 1000u);
    EXPECT_LT(to_question, 8000u);  // generous: the window updates are slow under emulation
    const DWORD between = answers.second_question - answers.first_question;
    EXPECT_GT(between, 600u);
    EXPECT_LT(between, 6000u);
    with_sim([&](C64ReceiverSim& sim) {
        EXPECT_EQ(sim.image(), spec.data);
        EXPECT_TRUE(sim.playing());
        return 0;
    });
    EXPECT_EQ(find_window("#32770", "Transfering data..."), nullptr);
}

volatile LONG g_event_refusals = 0;
HANDLE WINAPI refused_event(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) {
    InterlockedIncrement(&g_event_refusals);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

TEST_F(Rig, WithoutItsEventTheMonitorStillPausesBetweenSamples) {
    g_event_refusals = 0;
    ASSERT_NE(rig_patch_import(reinterpret_cast<HMODULE>(module_->instance), "KERNEL32.dll",
                               "CreateEventA", reinterpret_cast<void*>(refused_event)),
              nullptr);
    // A healthy C64 that takes 0.4 s over one byte: far from the question.
    with_sim([](C64ReceiverSim& sim) { return sim.stall_after(5 + 500), 0; });
    volatile LONG done = 0;
    std::string asked;
    OnThread resumer([] {
        while (!with_sim_stalled()) Sleep(5);
        Sleep(400);
        SimLock lock;
        port_trap_sim().resume();
    });
    OnThread question([&] {
        while (!done) {
            if (HWND box = find_window("#32770", "Error")) {
                Sleep(50);
                asked = message_box_text(box);
                press_button(box, IDOK);
            }
            Sleep(10);
        }
    });
    EXPECT_EQ(play(rig_tune_file("noevent.sid", rig_tune(2000, 1))), 0);
    InterlockedExchange(&done, 1);
    question.join();
    resumer.join();
    EXPECT_GE(g_event_refusals, 1);
    EXPECT_EQ(asked, "");
    EXPECT_TRUE(with_sim([](C64ReceiverSim& sim) { return sim.playing(); }));
}

TEST_F(Rig, AnEmptyTuneFlashesTheWindowWithoutAQuestion) {
    PsidSpec spec = rig_tune(0, 1);
    spec.init = 0x1000;
    spec.play = 0x1000;
    EXPECT_EQ(play(rig_tune_file("empty.sid", spec)), 0);
    EXPECT_EQ(find_window("#32770", "Error"), nullptr);
    EXPECT_EQ(find_window("#32770", "Transfering data..."), nullptr);
}

TEST(RigProcess, CancelOnTheStallQuestionEndsTheHost) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string command = std::string("\"") + self + "\" --child-cancel \"" + g_dll_path + "\"";
    STARTUPINFOA si{sizeof si};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u);  // ended by the plug-in on Cancel; the child returns 3 otherwise
}

}  // namespace

namespace {

// Not a timed test: prints what play costs beyond the transfer (the head
// start given to the progress window and the monitor's end) and how long
// stop takes, for the record. Bounds are loose; the figures are the point.
TEST_F(Rig, PlayOverheadAndStopTimeFigures) {
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
