#pragma once

#include <windows.h>

// Reads "Port", "Time", "UserPort" and "SongLengths" from the settings key,
// creating the key and writing the in-memory value of every one that is
// missing or unusable; and "SongLengthsFile", a string never written here.
void settings_load();

// The settings key opened for writing, or null (writes are then skipped).
HKEY settings_open_key();
// One 4-byte REG_DWORD; silent on failure, and on a null key.
void settings_write(HKEY key, const char* name, DWORD value);
