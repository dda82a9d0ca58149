#include "settings/config_dialog.h"

#include <commctrl.h>


#include "plugin/winamp_records.h"
#include "resources/resource_ids.h"
#include "settings/settings.h"
#include "settings/settings_registry.h"
#include "settings/settings_text.h"

namespace {

HWND g_main_window;  // the host's, for the end-of-track message

const char kPortQuestion[] =
    "You want to change port address (this may hang system).\nAre you sure what you are doing?";

int up_down_position(HWND dialog) {
    return LOWORD(SendDlgItemMessageA(dialog, kIdConfigTimeUpDown, UDM_GETPOS, 0, 0));
}

void show_time(HWND dialog, int32_t time_ms) {
    char text[32];
    time_text(time_ms, text, sizeof text);
    SetDlgItemTextA(dialog, kIdConfigTime, text);
}

void start(HWND dialog) {
    for (uint16_t port : kOfferedPorts) {
        char text[16];
        port_text(port, text, sizeof text);
        SendDlgItemMessageA(dialog, kIdConfigPort, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    char current[16];
    port_text(g_settings.port_base, current, sizeof current);
    SendDlgItemMessageA(dialog, kIdConfigPort, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(current));
    const int32_t time_ms = g_settings.playing_time_ms.load(std::memory_order_relaxed);
    show_time(dialog, time_ms);
    SendDlgItemMessageA(dialog, kIdConfigTimeUpDown, UDM_SETRANGE, 0,
                        MAKELPARAM(kPlayingTimeMaxSteps, kPlayingTimeMinSteps));
    // Setting the position rewrites the buddy, whose change notification
    // shows the time of the position, not the stored time.
    SendDlgItemMessageA(dialog, kIdConfigTimeUpDown, UDM_SETPOS, 0,
                        MAKELPARAM(time_ms / kPlayingTimeStepMs, 0));
    CheckDlgButton(dialog, kIdConfigDriverFlag, g_settings.driver_flag ? BST_CHECKED : BST_UNCHECKED);
}

void store(HWND dialog) {
    HKEY key = settings_open_key();  // a failure only loses the writes
    g_settings.playing_time_ms.store(up_down_position(dialog) * kPlayingTimeStepMs,
                                     std::memory_order_relaxed);
    settings_write(key, "Time", static_cast<DWORD>(g_settings.playing_time_ms.load()));

    char chosen[999] = "";
    GetDlgItemTextA(dialog, kIdConfigPort, chosen, sizeof chosen);
    char current[16];
    port_text(g_settings.port_base, current, sizeof current);
    if (lstrcmpA(chosen, current) != 0 &&
        MessageBoxA(dialog, kPortQuestion, "Warning", MB_YESNO | MB_ICONWARNING) == IDYES) {
        // The host may stop the track in reply: that must still reach the
        // C64 on the old port.
        SendMessageA(g_main_window, kEndOfTrack, 0, 0);
        if (const uint16_t port = port_from_text(chosen)) g_settings.port_base = port;
        settings_write(key, "Port", g_settings.port_base);
    }
    g_settings.driver_flag = IsDlgButtonChecked(dialog, kIdConfigDriverFlag) == BST_CHECKED ? 1 : 0;
    settings_write(key, "UserPort", g_settings.driver_flag);
    if (key != nullptr) RegCloseKey(key);
}

INT_PTR CALLBACK config_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: start(dialog); return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case kIdConfigTimeBuddy:
                    show_time(dialog, up_down_position(dialog) * kPlayingTimeStepMs);
                    return FALSE;
                case IDOK:
                    store(dialog);
                    EndDialog(dialog, 0);
                    return TRUE;
                case IDCANCEL: EndDialog(dialog, 0); return TRUE;
                default: return FALSE;
            }
        default: return FALSE;
    }
}

}  // namespace

void config_dialog_show(HINSTANCE instance, HWND parent, HWND main_window) {
    g_main_window = main_window;
    DialogBoxParamA(instance, kConfigDialog, parent, config_proc, 0);
}
