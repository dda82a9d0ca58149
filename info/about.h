#pragma once

#include <windows.h>

// The About box, modal, owned by `parent`.
void about_show(HWND parent);
