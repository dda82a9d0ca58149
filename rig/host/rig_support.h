// Shared by the rig's tests and its demo: the registry set-up, tune files,
// and a helper thread that answers one of the plug-in's message boxes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/psid_builder.h"

// Writes the plug-in's settings before it is loaded (and so initialised).
void rig_write_settings(DWORD port, DWORD time_ms, DWORD driver_flag);
void rig_delete_settings();
// Reads a settings value; false when missing.
bool rig_read_setting(const char* name, DWORD& value);
// Writes one settings value of any type as it stands, or deletes it.
void rig_write_setting(const char* name, DWORD type, const void* data, DWORD size);
void rig_delete_setting(const char* name);

// Points the loaded `module`'s import of `dll`!`function` at `replacement`
// (the rig's way to make a system call fail for the DLL alone). Returns
// what the import pointed at before, or null when there is no such import.
void* rig_patch_import(HMODULE module, const char* dll, const char* function, void* replacement);

// Stops and deletes the "UserPort" service, if there is one (its file stays).
void rig_remove_driver_service();

// Writes a PSID file into the rig's temp folder and returns its path.
std::string rig_tune_file(const std::string& name, const PsidSpec& spec);
PsidSpec rig_tune(uint16_t length, uint16_t songs, uint16_t start_song = 1);

// Polls `condition` every 10 ms until it holds, at most `limit_ms`; true
// when it held. The limit is generous: it only bounds a failing run, and a
// condition that never held fails the test, so that no caller can go on
// as if it had (a dialog's list with one entry more than awaited).
bool wait_until(const std::function<bool()>& condition, DWORD limit_ms = 10000);

// Waits on its own thread for a message box (class "#32770") with `caption`,
// records its text and whether it shows an icon, then presses `button`.
class BoxAnswerer {
public:
    BoxAnswerer(const char* caption, int button, DWORD timeout_ms = 20000);
    ~BoxAnswerer();
    // Waits for the thread; true when a box was found and answered.
    bool finish();
    std::string text;
    bool has_icon = false;
    bool owned = false;

private:
    static DWORD WINAPI run(void* self);
    const char* caption_;
    int button_;
    DWORD timeout_ms_;
    HANDLE thread_;
    bool answered_ = false;
};

// Runs `work` on a thread of its own (a test's hand on the plug-in's windows
// while the main thread sits in a modal loop); joined by join() or the end.
class OnThread {
public:
    explicit OnThread(std::function<void()> work);
    ~OnThread() { join(); }
    void join();

private:
    static DWORD WINAPI run(void* self);
    std::function<void()> work_;
    HANDLE thread_;
};
