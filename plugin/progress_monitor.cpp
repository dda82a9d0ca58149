// The progress monitor thread. Its window is created, updated and destroyed
// on this thread only; there is no message loop, so the window changes only
// through the messages sent to its controls.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "plugin/progress_watch.h"
#include "plugin/session.h"
#include "plugin/workers.h"
#include "resources/resource_ids.h"

namespace {

HWND g_progress_window = nullptr;
// Set by the session when the transfer is over, so that the monitor's
// 80 ms pause ends at once and play does not wait out a whole sample.
HANDLE g_transfer_over = nullptr;

// One sample's pause. Without the event (it could not be created) the pause
// is a plain sleep: returning at once would count still samples far too
// fast and ask about a stall during a healthy upload.
void pause_between_samples() {
    if (g_transfer_over == nullptr ||
        WaitForSingleObject(g_transfer_over, kProgressSampleMs) == WAIT_FAILED) {
        Sleep(kProgressSampleMs);
    }
}

void close_window() {
    if (g_progress_window == nullptr) return;
    DestroyWindow(g_progress_window);
    g_progress_window = nullptr;
}

DWORD WINAPI monitor(void*) {
    const int32_t length = g_playing_tune.length;
    ProgressWatch watch;
    progress_watch_begin(watch, g_progress_count.load(std::memory_order_relaxed));

    if (g_progress_window == nullptr) {
        g_progress_window =
            CreateDialogParamA(g_module.instance, kProgressDialog, nullptr, nullptr, 0);
    }
    ShowWindow(g_progress_window, SW_SHOWNORMAL);
    UpdateWindow(g_progress_window);
    SetWindowTextA(g_progress_window, kProgressTitle);
    SendDlgItemMessageA(g_progress_window, kIdProgressBar, PBM_SETRANGE, 0,
                        MAKELPARAM(0, static_cast<WORD>(length)));

    for (;;) {
        const int32_t count = g_progress_count.load(std::memory_order_relaxed);
        if (count >= length) break;
        const ProgressStep step = progress_watch_sample(watch, count);
        char label[1024];
        wsprintfA(label, step.label_format, count);
        SetDlgItemTextA(g_progress_window, kIdProgressLabel, label);
        if (step.ask_retry) {
            close_window();
            // The host's thread is held in the handshake loop: there is no
            // way to abandon just this transfer, only to wait or to quit.
            if (MessageBoxA(nullptr, kTransferTimeoutQuestion, "Error",
                            MB_OKCANCEL | MB_ICONERROR) != IDOK) {
                std::exit(0);
            }
            progress_watch_retry(watch);
        }
        SendDlgItemMessageA(g_progress_window, kIdProgressBar, PBM_SETPOS,
                            static_cast<WPARAM>(count), 0);
        progress_watch_end_sample(watch, count);
        pause_between_samples();
    }
    close_window();
    return 0;
}

}  // namespace

HANDLE progress_monitor_start() {
    if (g_transfer_over == nullptr) g_transfer_over = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (g_transfer_over != nullptr) ResetEvent(g_transfer_over);
    return CreateThread(nullptr, 0, monitor, nullptr, 0, nullptr);
}

void progress_monitor_transfer_over() {
    if (g_transfer_over != nullptr) SetEvent(g_transfer_over);
}
