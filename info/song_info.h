#pragma once

#include <windows.h>

// What each build shows for the info box: the Song info dialog (its template
// in `instance`), or the fixed build's message box. Modal, owned by `parent`.
struct SidTune;
void song_info_show(const SidTune& tune, HINSTANCE instance, HWND parent);
