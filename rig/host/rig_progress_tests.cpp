// The transfer's progress window and its stall question (full build).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource_ids.h"

#include "rig/host/rig_fixture.h"

namespace {

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
                const std::string label = static_text(w, kIdProgressLabel);
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
        if (w && static_text(w, kIdProgressLabel).find("(timeout)") != std::string::npos) {
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

TEST_F(PlayerRig, ProgressWindowAndTheStallQuestion) {
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

TEST_F(PlayerRig, WithoutItsEventTheMonitorStillPausesBetweenSamples) {
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

TEST_F(PlayerRig, AnEmptyTuneFlashesTheWindowWithoutAQuestion) {
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
