#pragma once

#include <windows.h>

// The About box, modal, owned by `parent`; its template is in `instance`.
void about_show(HINSTANCE instance, HWND parent);
