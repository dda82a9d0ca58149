// The fixed-port build has no dialogs: plain message boxes stand in for the
// configuration, About and Song info windows.
#include <windows.h>

#include "info/about.h"
#include "info/song_info.h"
#include "settings/config_dialog.h"
#include "tune/sid_tune.h"

namespace {

void inform(HWND parent, const char* text, const char* caption) {
    MessageBoxA(parent, text, caption, MB_OK | MB_ICONINFORMATION);
}

}  // namespace

void config_dialog_show(HINSTANCE, HWND parent, HWND) {
    inform(parent, "No configuration.\n(bo mi sie nie chcialo zrobic.)\nLPT port: 0x0278",
           "Configuration");
}

void about_show(HINSTANCE, HWND parent) {
    inform(parent,
           "SID Zorbin plugin (fixed port 0x278) by the in_zorbin project\n"
           "\n"
           "Zabrania sie umieszczania tego programu\n"
           "lub jakiejkolwiek jego czesci na stronach WWW\n"
           "bez zgody autorow.",
           "About");
}

void song_info_show(const SidTune& tune, HINSTANCE, HWND parent) {
    char text[1024];
    wsprintfA(text, "Author:\t\t%s\t\nSong name:\t%s\nCopyright:\t\t%s", tune.author, tune.name,
              tune.copyright);
    inform(parent, text, "Song info");
}
