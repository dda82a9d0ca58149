#pragma once

#include <windows.h>

// The host's playlist entry for a file: "author - name" and the playing time.
void info_get_file_info(const char* file, char* title, int* length_ms);
// Loads the file into the info tune and shows it; 0 at once without a path.
int info_box(const char* file, HWND parent);
