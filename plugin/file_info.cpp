#include "plugin/file_info.h"

#include "info/song_info.h"
#include "info/tune_text.h"
#include "plugin/session.h"
#include "profile/build_profile.h"

namespace {
// Never the playing tune: the host asks about any file at any time.
SidTune g_info_tune;

}  // namespace

void info_get_file_info(const char* file, char* title, int* length_ms) {
    const char* path = file != nullptr && file[0] != '\0' ? file : g_current_path;
    sid_tune_load(path, g_info_tune);
    // Hosts pass title buffers of different sizes: never assume more than 1024.
    if (title != nullptr) tune_title(g_info_tune, title, 1024);
    if (length_ms != nullptr) *length_ms = profile_tune_length_ms(path, g_info_tune.start_song);
}

int info_box(const char* file, HWND parent) {
    if (file == nullptr) return 0;
    sid_tune_load(file, g_info_tune);  // an empty path stays empty here
    song_info_show(g_info_tune, g_module.instance, parent);
    return 0;
}
