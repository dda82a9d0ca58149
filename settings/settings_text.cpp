#include "settings/settings_text.h"

#include <cstdio>
#include <cstring>

#include "settings/settings.h"

void port_text(uint16_t port_base, char* out, size_t size) {
    std::snprintf(out, size, "0x%3X", static_cast<unsigned>(port_base));
}

void time_text(int32_t time_ms, char* out, size_t size) {
    // Signed division, as the dialog always did: a negative time shows a
    // minus sign on both parts.
    std::snprintf(out, size, "%.2i:%.2i", static_cast<int>(time_ms / 60000),
                  static_cast<int>((time_ms % 60000) / 1000));
}

uint16_t port_from_text(const char* text) {
    for (uint16_t port : kOfferedPorts) {
        char candidate[16];
        port_text(port, candidate, sizeof candidate);
        if (std::strcmp(text, candidate) == 0) return port;
    }
    return 0;
}
