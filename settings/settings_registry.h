#pragma once

// Reads "Port", "Time" and "UserPort" from the settings key, creating the key
// and writing the in-memory value of every one that is missing or unusable.
void settings_load();
