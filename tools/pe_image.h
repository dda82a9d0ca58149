// Reads what the release checks need from a 32-bit PE file (DLL, driver):
// machine, subsystem, imports, exports and whether it has resources.
// Portable: the checks run on the build machine, not under Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PeImport {
    std::string dll;       // as named in the file, e.g. "KERNEL32.dll"
    std::string function;  // or "#ordinal"
};

struct PeImage {
    uint16_t machine = 0;    // 0x14C = i386
    uint16_t subsystem = 0;  // 1 native, 2 GUI, 3 console
    uint16_t characteristics = 0;
    bool has_resources = false;
    std::vector<PeImport> imports;
    std::vector<std::string> exports;
};

// False (with `error` set) when the file is not a readable 32-bit PE image.
bool pe_read(const std::string& path, PeImage& image, std::string& error);
