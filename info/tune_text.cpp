#include "info/tune_text.h"

#include <cstdio>

namespace {

char dump_char(uint8_t byte) { return byte >= 0x20 && byte <= 0x7F ? static_cast<char>(byte) : ' '; }

const char kHexDigits[] = "0123456789ABCDEF";

// "%.4X" of an address up to 0x1FFFF, without the formatter's cost (the
// dump has up to 1600 lines).
size_t put_address(uint32_t address, char* out) {
    size_t n = 0;
    if (address > 0xFFFF) out[n++] = kHexDigits[(address >> 16) & 0xF];
    for (int shift = 12; shift >= 0; shift -= 4) out[n++] = kHexDigits[(address >> shift) & 0xF];
    return n;
}

}  // namespace

void tune_title(const SidTune& tune, char* out, size_t size) {
    if (size == 0) return;
    std::snprintf(out, size, "%s - %s", tune.author, tune.name);
}

uint32_t tune_dump_lines(const SidTune& tune) {
    const uint32_t covering = (tune.length + kDumpBytesPerLine - 1) / kDumpBytesPerLine;
    if (covering < kDumpMinLines) return kDumpMinLines;
    return covering > kDumpMaxLines ? kDumpMaxLines : covering;
}

size_t tune_dump(const SidTune& tune, char* out, size_t size) {
    size_t used = 0;
    const uint32_t lines = tune_dump_lines(tune);
    for (uint32_t line = 0; line < lines; ++line) {
        const uint32_t offset = line * kDumpBytesPerLine;
        if (used + kDumpMaxLineChars + 1 > size) break;  // whole lines only
        used += put_address(tune.load_address + offset, out + used);
        out[used++] = ' ';
        for (uint32_t j = 0; j < kDumpBytesPerLine; ++j) out[used++] = dump_char(tune.image[offset + j]);
        out[used++] = '\r';
        out[used++] = '\n';
    }
    if (size > 0) out[used] = '\0';
    return used;
}
