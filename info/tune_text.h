// The texts the information entries show for a tune: the playlist title and
// the Song info dialog's data dump. Portable; no heap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tune/sid_tune.h"

// "author - name", cut to fit `size` (always terminated when size > 0).
void tune_title(const SidTune& tune, char* out, size_t size);

constexpr uint32_t kDumpBytesPerLine = 32;
// The dump always shows at least this many lines (what fitted in the
// dialog's original 1,023 characters, and a little more)...
constexpr uint32_t kDumpMinLines = 27;
// ...and at most this many: at 40 characters a line the text stays below
// 64 KB, the most a multi-line edit control holds on the 9x family.
constexpr uint32_t kDumpMaxLines = 1600;
constexpr uint32_t kDumpMaxLineChars = 5 + 1 + kDumpBytesPerLine + 2;  // "10000 " + 32 + CR LF
constexpr size_t kDumpBufferSize = kDumpMaxLines * kDumpMaxLineChars + 1;

// How many lines the dump of `tune` shows: every line that covers the
// tune's length, and never fewer than kDumpMinLines.
uint32_t tune_dump_lines(const SidTune& tune);

// Writes the dump: per line the C64 address (load address + offset, at
// least four upper-case hex digits, no wrap at 64 KiB), a blank, 32
// characters (bytes 0x20-0x7F as themselves, anything else a blank), CR LF.
// Stops at a whole line that would not fit `size`; returns the text length.
size_t tune_dump(const SidTune& tune, char* out, size_t size);
