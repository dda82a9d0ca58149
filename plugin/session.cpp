#include "plugin/session.h"

#include <windows.h>

#include <cstring>

#include "plugin/play_time.h"
#include "plugin/session_link.h"
#include "plugin/workers.h"
#include "profile/build_profile.h"

SidTune g_playing_tune;
char g_current_path[kCurrentPathLength + 1];
std::atomic<int32_t> g_progress_count{0};
std::atomic<uint32_t> g_elapsed_ticks{0};
std::atomic<uint32_t> g_timer_turn{0};

namespace {

HANDLE g_timer_thread = nullptr;
HANDLE g_progress_thread = nullptr;
// Moves on with every stop, every play that reaches the C64 and every failed
// sub-song change. A slot that waits while answering sent messages compares
// it afterwards: a play, stop or failed change made meanwhile has had the
// last word.
uint32_t g_session_serial = 0;

uint32_t next_serial() {
    if (++g_session_serial == 0) ++g_session_serial;  // 0 is no timer's turn
    return g_session_serial;
}

constexpr DWORD kMonitorHeadStartMs = 25;  // let the progress window appear first

const char kNotResponding[] = "C64 not responding. Check cable.";

void show_error(const char* text) { MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR); }

void join(HANDLE& thread) {
    if (thread == nullptr) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
}

// The timer never starts talking to the host once its turn is over, so this
// wait ends within one of its sleeps. It may, though, have sent its repeat
// query a moment before; that query waits for this very thread, so the wait
// answers sent messages instead of blocking them. Any sent message may call
// the plug-in again: the handle is taken first, so such a call finds no
// timer of ours, and whatever timer it starts is left to it.
void end_timer() {
    HANDLE thread = g_timer_thread;
    if (thread == nullptr) return;
    g_timer_thread = nullptr;
    g_timer_turn.store(0, std::memory_order_relaxed);
    // The wait wakes only for sent messages the thread has not yet looked
    // at; a host that asked its queue's state after the query arrived would
    // leave it unseen-but-pending forever. So each round first delivers what
    // is already there, then waits.
    for (;;) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // delivers sent messages
        if (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) !=
            WAIT_OBJECT_0 + 1)
            break;
    }
    CloseHandle(thread);
}

void announce_song(int song_number) {
    g_module.output->pause(0);
    g_module.set_info(song_number, g_playing_tune.songs, 0, 0);
}

}  // namespace

int session_play(const char* path) {
    // A host that plays again without stop keeps one timer (also one that a
    // play nested in the wait has started).
    while (g_timer_thread != nullptr) end_timer();
    const uint16_t port_base = profile_port_base();
    const PortRoute route = session_port_probe(port_base);
    switch (route.probe) {
        case PortProbe::Ready: break;
        case PortProbe::NotReady: show_error(kProfileNotReadyText); return 1;
        case PortProbe::NoAccess: show_error(profile_no_access_text()); return 1;
    }
    sid_tune_load(path, g_playing_tune);
    if (g_playing_tune.songs == 0) return -1;

    const uint32_t serial = next_serial();
    g_progress_count.store(0, std::memory_order_relaxed);
    if constexpr (kProfileWatchesUploads) {
        g_progress_thread = progress_monitor_start();
        Sleep(kMonitorHeadStartMs);
    }
    const bool started = with_session_link(route, port_base, [](auto& link) {
        return link.upload(g_playing_tune, g_playing_tune.start_song, g_progress_count);
    });
    if constexpr (kProfileWatchesUploads) progress_monitor_transfer_over();
    if (!started) {
        // Only the unwatched closing commands can fail; the monitor has seen
        // the whole image and ends by itself.
        g_progress_count.store(g_playing_tune.length, std::memory_order_relaxed);
        join(g_progress_thread);
        show_error(kNotResponding);
        return 1;
    }
    announce_song(g_playing_tune.start_song);
    g_module.is_seekable = g_playing_tune.songs != 1 ? 1 : 0;
    g_elapsed_ticks.store(0, std::memory_order_relaxed);
    profile_tune_started(path, g_playing_tune.start_song);
    join(g_progress_thread);

    std::strncpy(g_current_path, path != nullptr ? path : "", kCurrentPathLength);
    g_current_path[kCurrentPathLength] = '\0';
    g_timer_turn.store(serial, std::memory_order_relaxed);
    g_timer_thread = play_timer_start(serial);
    return 0;
}

void session_stop() {
    const uint32_t serial = next_serial();
    end_timer();
    if (g_session_serial != serial) return;  // the track is no longer the one we stop
    g_module.output->close();
    const uint16_t port_base = profile_port_base();
    const PortRoute route = session_port_probe(port_base);
    if (route.probe == PortProbe::Ready)
        with_session_link(route, port_base, [](auto& link) { return link.stop(); });
}

void session_pause() {}
void session_unpause() { g_module.output->pause(0); }
int session_is_paused() { return 0; }

int session_get_length() { return tune_length_ms(g_playing_tune.songs); }

int session_get_output_time() {
    if constexpr (kProfileTimeFromOutput) return g_module.output->get_output_time();
    return static_cast<int>(g_elapsed_ticks.load(std::memory_order_relaxed) * kTickMs);
}

namespace {

// A sub-song change the C64 stopped answering: it has stopped playing, or
// plays neither the old song nor the new one for sure. The host is told no
// new song; the user gets play's message and the track ends as if its time
// were over, once: its timer goes first. Whatever the host does while the
// message is up has the last word, so no end is posted after it: a play or
// stop, and also another failed change, which ends the track itself.
void song_change_failed() {
    end_timer();
    g_elapsed_ticks.store(0, std::memory_order_relaxed);
    const uint32_t serial = next_serial();
    show_error(kNotResponding);
    if (g_session_serial == serial) PostMessageA(g_module.main_window, kEndOfTrack, 0, 0);
}

}  // namespace

void session_set_output_time(int ms) {
    const uint16_t port_base = profile_port_base();
    const PortRoute route = session_port_probe(port_base);
    if (route.probe != PortProbe::Ready) return;
    const int32_t index = seek_song_index(ms);
    if (!with_session_link(route, port_base, [index](auto& link) {
            return link.select_song(g_playing_tune, static_cast<uint8_t>(index));
        })) {
        song_change_failed();
        return;
    }
    announce_song(index + 1);
    if (profile_song_changed(index + 1)) g_elapsed_ticks.store(0, std::memory_order_relaxed);
}

void session_set_volume(int volume) { g_module.output->set_volume(volume); }
void session_set_pan(int pan) { g_module.output->set_pan(pan); }

void session_quit() { PostMessageA(g_module.main_window, kEndOfTrack, 0, 0); }
