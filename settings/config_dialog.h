#pragma once

#include <windows.h>

// The Configuration dialog, modal, owned by `parent`; stores on OK.
void config_dialog_show(HWND parent);
