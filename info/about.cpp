#include "info/about.h"

#include <cstring>

#include "info/info_dialog.h"
#include "resources/resource_ids.h"

namespace {

// Line by line; every line but the last ends with CR LF.
const char* const kAboutLines[] = {
    "",
    "SID Zorbin plugin by the in_zorbin project",
    "Version 2.0 (2004-05-16)",
    "",
    "Whats new:",
    "-Windows XP/2000/2003 compatible",
    "-detailed song info",
    "-selectable parallel (LPT) port",
    "-custom playing time",
    "-inproved stability",
    "-transfer progress window",
    "-and more",
    "",
    "Some technical notes:",
    "-you MUST run this plugin at least for first time as administrator ",
    "-if you log in as user without admin proviledges use configuration option "
    "``Don't start UserPort service on Winamp start``",
    "",
    "The port driver UserPort.sys is the in_zorbin project's own, built from its "
    "source together with this plugin. (It opens the parallel ports only.)",
    "",
    "I co sie tak gapisz czopku?",
};

constexpr size_t kAboutTextSize = 1000;

INT_PTR CALLBACK about_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            char text[kAboutTextSize] = "";
            const size_t count = sizeof kAboutLines / sizeof kAboutLines[0];
            for (size_t i = 0; i < count; ++i) {
                std::strncat(text, kAboutLines[i], sizeof text - std::strlen(text) - 1);
                if (i + 1 < count) std::strncat(text, "\r\n", sizeof text - std::strlen(text) - 1);
            }
            SetDlgItemTextA(dialog, kIdAboutText, text);
            return TRUE;
        }
        case WM_COMMAND: return end_on_ok_or_cancel(dialog, wparam);
        default: return FALSE;
    }
}

}  // namespace

void about_show(HINSTANCE instance, HWND parent) {
    DialogBoxParamA(instance, kAboutDialog, parent, about_proc, 0);
}
