#pragma once

#include <windows.h>

// The host's playlist entry for a file: "author - name" and the playing time.
void info_get_file_info(const char* file, char* title, int* length_ms);
// The Song info dialog.
int info_box(const char* file, HWND parent);
