// What the two information dialogs share: they only show, so OK, Enter,
// Cancel, Escape and the close box all just end them.
#pragma once

#include <windows.h>

inline INT_PTR end_on_ok_or_cancel(HWND dialog, WPARAM wparam) {
    if (LOWORD(wparam) != IDOK && LOWORD(wparam) != IDCANCEL) return FALSE;
    EndDialog(dialog, 0);
    return TRUE;
}
