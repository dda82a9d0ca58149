#pragma once

#include <windows.h>

// The Configuration dialog, modal, owned by `parent`, its template in
// `instance`; stores on OK. Before a port change it tells the host's
// `main_window` to end the track.
void config_dialog_show(HINSTANCE instance, HWND parent, HWND main_window);
