#include "info/file_info.h"

#include "info/tune_text.h"
#include "plugin/session.h"
#include "resources/resource_ids.h"
#include "settings/settings.h"
#include "tune/sid_tune.h"

namespace {

SidTune g_info_tune;  // never the playing tune: the host asks about any file at any time
// The dump's text. Static rather than on the stack: up to 64 KB.
char g_dump_text[kDumpBufferSize];

void set_number(HWND dialog, int id, const char* format, unsigned value) {
    char text[16];
    wsprintfA(text, format, value);
    SetDlgItemTextA(dialog, id, text);
}

INT_PTR CALLBACK song_info_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextA(dialog, kIdInfoAuthor, g_info_tune.author);
            SetDlgItemTextA(dialog, kIdInfoName, g_info_tune.name);
            SetDlgItemTextA(dialog, kIdInfoCopyright, g_info_tune.copyright);
            set_number(dialog, kIdInfoSongs, "%i", g_info_tune.songs);
            SetDlgItemTextA(dialog, kIdInfoPath, g_info_tune.path);
            set_number(dialog, kIdInfoLoad, "$%X", g_info_tune.load_address);
            set_number(dialog, kIdInfoInit, "$%X", g_info_tune.init_address);
            set_number(dialog, kIdInfoPlay, "$%X", g_info_tune.play_address);
            tune_dump(g_info_tune, g_dump_text, sizeof g_dump_text);
            SetDlgItemTextA(dialog, kIdInfoDump, g_dump_text);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace

void info_get_file_info(const char* file, char* title, int* length_ms) {
    const char* path = file != nullptr && file[0] != '\0' ? file : g_current_path;
    sid_tune_load(path, g_info_tune);
    // Hosts pass title buffers of different sizes; 1024 is the least seen.
    if (title != nullptr) tune_title(g_info_tune, title, 1024);
    if (length_ms != nullptr) *length_ms = g_settings.playing_time_ms.load(std::memory_order_relaxed);
}

int info_box(const char* file, HWND parent) {
    if (file == nullptr) return 0;
    sid_tune_load(file, g_info_tune);
    DialogBoxParamA(g_module.instance, kSongInfoDialog, parent, song_info_proc, 0);
    return 0;
}
