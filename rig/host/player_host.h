// A stand-in for the player: loads the plug-in DLL the way the player does,
// fills the record's host fields, records what the plug-in tells the host,
// and helps tests find and drive the plug-in's own windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "plugin/winamp_records.h"

struct SetInfoCall {
    int bitrate, sample_rate, stereo, synched;
};

struct HostLog {
    std::vector<std::string> output_calls;  // "close", "pause(0)", "set_volume(3)", ...
    std::vector<SetInfoCall> set_info;
    int repeat_queries = 0;
    int end_of_track = 0;
};

// Loads `dll` (LoadLibrary, winampGetInModule2), fills the host fields and
// calls init. Returns null with `error` set on failure. `before_init`, if
// given, gets the loaded DLL just before init (to patch its imports).
InModule* host_load(const char* dll, std::string& error,
                    const std::function<void(HMODULE)>& before_init = nullptr);
void host_unload();

HostLog& host_log();   // only touched on the main thread
void host_clear_log();
void host_set_repeat(bool on);
// Answer the end-of-track message by calling the plug-in's stop, as the
// player does.
void host_stop_on_end_of_track(bool on);
HWND host_main_window();
// Runs `handler` on the main thread for every WM_APP the main window gets
// (a test's way to have the host call the plug-in from a message); null: none.
void host_on_app_message(std::function<void()> handler);

// Pumps the main thread's messages for `ms`, or until `done` is true.
void host_pump(DWORD ms);
bool host_pump_until(const std::function<bool()>& done, DWORD timeout_ms);

// --- the plug-in's windows (any thread) ---------------------------------
// A visible top-level window of this process with this class ("#32770" for
// dialogs and message boxes) and, if given, this title.
HWND find_window(const char* window_class, const char* title);
HWND wait_for_window(const char* window_class, const char* title, DWORD timeout_ms);
// The window's own text, read without sending it a message.
std::string window_text(HWND window);
// A static control's text, likewise; for windows of a thread without a loop.
std::string static_text(HWND dialog, int id);
// Any control's text through WM_GETTEXT; its thread must pump messages.
std::string control_text(HWND dialog, int id);
// The text of a message box (its static control).
std::string message_box_text(HWND box);
void press_button(HWND dialog, int id);
bool window_has_style(HWND window, LONG style);
// Saves the window's screen area as a 24-bit BMP.
bool save_window_bitmap(HWND window, const char* path);
