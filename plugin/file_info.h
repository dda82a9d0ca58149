#pragma once

#include <windows.h>

// The host's playlist entry for a file: "author - name" and the start song's
// length (the playing time where the song-length database has none).
void info_get_file_info(const char* file, char* title, int* length_ms);
// Loads the file into the info tune and shows it; 0 at once without a path.
int info_box(const char* file, HWND parent);
