// The module record the host gets from winampGetInModule2, and its slots.
// Each slot only hands over to the subsystem that does the work.
#include <windows.h>
#include <commctrl.h>

#include "info/about.h"
#include "plugin/file_info.h"
#include "plugin/session.h"
#include "plugin/winamp_records.h"
#include "port/port_access.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"
#include "settings/settings_registry.h"
#include "tune/sid_tune.h"

namespace {

char g_description[] = "SID Zorbin plugin(x86)";
char g_extensions[] = "sid\0PSID file (*.sid)\0";  // the literal adds the final zero

void __cdecl config(HWND parent) {
    config_dialog_show(g_module.instance, parent, g_module.main_window);
}
void __cdecl about(HWND parent) { about_show(g_module.instance, parent); }

#ifdef ZORBIN_FIXED_BUILD
// Nothing to set up: init and pause are one and the same empty operation.
void __cdecl nothing() {}
void (*const init_slot)() = nothing;
void (*const pause_slot)() = nothing;
#else
void __cdecl init() {
    settings_load();
    port_access_setup(g_module.instance, g_settings.driver_flag != 0, g_settings.port_base);
    // The progress bar and the up-down control need their classes registered.
    // The plain call does that on every common controls version, Windows 95's
    // first one included; the Ex form would keep the DLL from loading there.
    InitCommonControls();
}
void __cdecl pause() { session_pause(); }
void (*const init_slot)() = init;
void (*const pause_slot)() = pause;
#endif

void __cdecl quit() { session_quit(); }
void __cdecl get_file_info(char* file, char* title, int* length_ms) {
    info_get_file_info(file, title, length_ms);
}
int __cdecl info(char* file, HWND parent) { return info_box(file, parent); }
int __cdecl is_our_file(char* file) { return sid_is_our_file(file); }
int __cdecl play(char* file) { return session_play(file); }
void __cdecl unpause() { session_unpause(); }
int __cdecl is_paused() { return session_is_paused(); }
void __cdecl stop() { session_stop(); }
int __cdecl get_length() { return session_get_length(); }
int __cdecl get_output_time() { return session_get_output_time(); }
void __cdecl set_output_time(int ms) { session_set_output_time(ms); }
void __cdecl set_volume(int volume) { session_set_volume(volume); }
void __cdecl set_pan(int pan) { session_set_pan(pan); }

}  // namespace

InModule g_module = {
    0x100, g_description, nullptr, nullptr, g_extensions,
    1,  // seekable until a one-song tune says otherwise
    1,  // uses the output module (for pause, volume and pan only)
    config, about, init_slot, quit, get_file_info, info, is_our_file, play, pause_slot, unpause,
    is_paused, stop, get_length, get_output_time, set_output_time, set_volume, set_pan,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr,  // visualisation, DSP and equaliser: the host's
    nullptr, nullptr,  // set-info and output module: the host's
};

extern "C" __declspec(dllexport) InModule* __cdecl winampGetInModule2() { return &g_module; }
