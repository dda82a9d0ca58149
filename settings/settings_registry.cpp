#include "settings/settings_registry.h"

#include <windows.h>

#include "settings/settings.h"

namespace {

const char kSettingsKey[] = "SOFTWARE\\Winamp\\in_zorbin";

// The stored type is not examined: any value that fits 4 bytes counts (a
// shorter one reads as a zero-extended number). A missing or longer value is
// replaced by `current`.
DWORD read_or_write(HKEY key, const char* name, DWORD current) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS) {
        return value;
    }
    settings_write(key, name, current);
    return current;
}

// A REG_SZ that fits `out`; anything else leaves `out` empty.
void read_path(HKEY key, const char* name, char* out, DWORD capacity) {
    DWORD type = 0;
    DWORD size = capacity - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &size) !=
            ERROR_SUCCESS || type != REG_SZ) {
        size = 0;
    }
    out[size] = '\0';
}

}  // namespace

void settings_load() {
    HKEY key = settings_open_key();
    if (key == nullptr &&
        RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;  // the built-in defaults stay
    }
    g_settings.port_base = static_cast<uint16_t>(read_or_write(key, "Port", g_settings.port_base));
    g_settings.playing_time_ms.store(
        static_cast<int32_t>(read_or_write(
            key, "Time", static_cast<DWORD>(g_settings.playing_time_ms.load()))),
        std::memory_order_relaxed);
    g_settings.driver_flag = read_or_write(key, "UserPort", g_settings.driver_flag);
    g_settings.song_lengths = read_or_write(key, "SongLengths", g_settings.song_lengths);
    read_path(key, "SongLengthsFile", g_settings.song_lengths_file,
              sizeof g_settings.song_lengths_file);
    RegCloseKey(key);
}

HKEY settings_open_key() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

void settings_write(HKEY key, const char* name, DWORD value) {
    if (key == nullptr) return;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}
