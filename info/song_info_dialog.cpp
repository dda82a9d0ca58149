#include "info/song_info.h"

#include "info/info_dialog.h"
#include "info/tune_text.h"
#include "resources/resource_ids.h"

namespace {

const SidTune* g_shown;  // the tune the open dialog describes
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
            SetDlgItemTextA(dialog, kIdInfoAuthor, g_shown->author);
            SetDlgItemTextA(dialog, kIdInfoName, g_shown->name);
            SetDlgItemTextA(dialog, kIdInfoCopyright, g_shown->copyright);
            set_number(dialog, kIdInfoSongs, "%i", g_shown->songs);
            SetDlgItemTextA(dialog, kIdInfoPath, g_shown->path);
            set_number(dialog, kIdInfoLoad, "$%X", g_shown->load_address);
            set_number(dialog, kIdInfoInit, "$%X", g_shown->init_address);
            set_number(dialog, kIdInfoPlay, "$%X", g_shown->play_address);
            tune_dump(*g_shown, g_dump_text, sizeof g_dump_text);
            SetDlgItemTextA(dialog, kIdInfoDump, g_dump_text);
            return TRUE;
        case WM_COMMAND: return end_on_ok_or_cancel(dialog, wparam);
        default: return FALSE;
    }
}

}  // namespace

void song_info_show(const SidTune& tune, HINSTANCE instance, HWND parent) {
    g_shown = &tune;
    DialogBoxParamA(instance, kSongInfoDialog, parent, song_info_proc, 0);
}
