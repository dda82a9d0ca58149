#include "info/file_info.h"

#include "plugin/session.h"
#include "settings/settings.h"
#include "tune/sid_tune.h"

namespace {
SidTune g_info_tune;  // never the playing tune: the host asks about any file at any time
}

void info_get_file_info(const char* file, char* title, int* length_ms) {
    const char* path = file != nullptr && file[0] != '\0' ? file : g_current_path;
    sid_tune_load(path, g_info_tune);
    if (title != nullptr) wsprintfA(title, "%s - %s", g_info_tune.author, g_info_tune.name);
    if (length_ms != nullptr) *length_ms = g_settings.playing_time_ms.load(std::memory_order_relaxed);
}

// The Song info dialog is not built yet: nothing is shown.
int info_box(const char*, HWND) { return 0; }
