#include "songlength/song_length_db.h"

#include <cstring>

namespace {

constexpr uint32_t kHexDigits = 2 * kMd5Size;
// Far beyond any real entry (255 sub-songs of "mm:ss.SSS(X) " are about
// 3.5 KB): a time further into its line is not looked at, so a line of
// megabytes costs no more than this.
constexpr uint32_t kLongestTimesScan = 8192;
// Minutes beyond 9999 (a week) are taken for garbage; ms then stays in 31 bits.
constexpr uint32_t kMostMinuteDigits = 4;
constexpr uint32_t kMostMillisecondDigits = 3;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads 32 hex digits into `md5`; false on anything else.
bool read_md5(const char* at, uint32_t available, uint8_t md5[kMd5Size]) {
    if (available < kHexDigits) return false;
    for (uint32_t i = 0; i < kMd5Size; ++i) {
        const int high = hex_value(at[2 * i]);
        const int low = hex_value(at[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        md5[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool entry_less(const SongLengthEntry& a, const SongLengthEntry& b) {
    if (a.key_high != b.key_high) return a.key_high < b.key_high;
    if (a.key_low != b.key_low) return a.key_low < b.key_low;
    return a.offset < b.offset;  // the earlier of two duplicates first
}

// In place, no recursion and no extra memory, whatever the input's order.
void heap_sort(SongLengthEntry* e, uint32_t n) {
    auto sift_down = [e](uint32_t root, uint32_t end) {
        for (;;) {
            uint32_t child = 2 * root + 1;
            if (child >= end) return;
            if (child + 1 < end && entry_less(e[child], e[child + 1])) ++child;
            if (!entry_less(e[root], e[child])) return;
            const SongLengthEntry swap = e[root];
            e[root] = e[child];
            e[child] = swap;
            root = child;
        }
    };
    for (uint32_t i = n / 2; i-- > 0;) sift_down(i, n);
    for (uint32_t end = n; end > 1; --end) {
        const SongLengthEntry swap = e[0];
        e[0] = e[end - 1];
        e[end - 1] = swap;
        sift_down(0, end - 1);
    }
}

// The line [start, end) without its leading and trailing blanks.
bool line_is(const char* start, const char* end, const char* word) {
    while (start < end && is_blank(*start)) ++start;
    while (end > start && is_blank(end[-1])) --end;
    const size_t length = std::strlen(word);
    if (static_cast<size_t>(end - start) != length) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = start[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

// Where the entry's times start: after the MD5, blanks, '=' and blanks.
const char* times_start(const char* line, const char* end) {
    const char* p = line + kHexDigits;
    while (p < end && is_blank(*p)) ++p;
    if (p >= end || *p != '=') return nullptr;
    return p + 1;
}

// One time token [p, end): "m:ss" or "m:ss.SSS", optionally followed by an
// attribute in brackets. 0 when malformed.
uint32_t parse_time(const char* p, const char* end) {
    uint32_t minutes = 0, digits = 0;
    for (; p < end && is_digit(*p); ++p, ++digits) {
        if (digits == kMostMinuteDigits) return 0;
        minutes = minutes * 10 + static_cast<uint32_t>(*p - '0');
    }
    if (digits == 0 || p >= end || *p != ':') return 0;
    ++p;
    if (end - p < 2 || !is_digit(p[0]) || !is_digit(p[1])) return 0;
    const uint32_t seconds = static_cast<uint32_t>((p[0] - '0') * 10 + (p[1] - '0'));
    if (seconds >= 60) return 0;
    p += 2;
    uint32_t ms = 0;
    if (p < end && *p == '.') {
        ++p;
        uint32_t scale = 100;
        for (digits = 0; p < end && is_digit(*p); ++p, ++digits, scale /= 10) {
            if (digits == kMostMillisecondDigits) return 0;
            ms += static_cast<uint32_t>(*p - '0') * scale;
        }
        if (digits == 0) return 0;
    }
    if (p < end && *p == '(') {
        while (p < end && *p != ')') ++p;
        if (p == end) return 0;
        ++p;
    }
    if (p != end) return 0;
    return (minutes * 60 + seconds) * 1000 + ms;
}

}  // namespace

void song_length_index_build(SongLengthIndex& index, const char* text, uint32_t size,
                             SongLengthEntry* storage, uint32_t capacity) {
    index.text = text;
    index.size = size;
    index.entries = storage;
    index.count = 0;
    index.dropped = 0;
    bool in_database = false;
    const char* const text_end = text + size;
    for (const char* line = text; line < text_end;) {
        const char* newline =
            static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(text_end - line)));
        const char* end = newline != nullptr ? newline : text_end;
        const char* first = line;
        while (first < end && is_blank(*first)) ++first;
        if (first < end && *first == '[') {
            in_database = line_is(first, end, "[database]");
        } else if (in_database && first < end && *first != ';') {
            uint8_t md5[kMd5Size];
            if (read_md5(first, static_cast<uint32_t>(end - first), md5) &&
                times_start(first, end) != nullptr) {
                if (index.count < capacity) {
                    storage[index.count++] = {be32(md5), be32(md5 + 4),
                                              static_cast<uint32_t>(first - text)};
                } else {
                    ++index.dropped;
                }
            }
        }
        line = end + 1;
    }
    heap_sort(storage, index.count);
}

int32_t song_length_find(const SongLengthIndex& index, const uint8_t md5[kMd5Size]) {
    const SongLengthEntry key = {be32(md5), be32(md5 + 4), 0};
    uint32_t low = 0, high = index.count;  // the first entry not less than the key
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (entry_less(index.entries[middle], key)) low = middle + 1;
        else high = middle;
    }
    // Entries sharing the first 8 bytes follow in file order; the full MD5
    // decides, and the first that matches holds.
    for (uint32_t i = low; i < index.count && index.entries[i].key_high == key.key_high &&
                           index.entries[i].key_low == key.key_low;
         ++i) {
        uint8_t stored[kMd5Size];
        const uint32_t offset = index.entries[i].offset;
        if (read_md5(index.text + offset, index.size - offset, stored) &&
            std::memcmp(stored, md5, kMd5Size) == 0)
            return static_cast<int32_t>(i);
    }
    return kNoSongLengthEntry;
}

uint32_t song_length_ms(const SongLengthIndex& index, int32_t entry, uint32_t song) {
    if (entry < 0 || static_cast<uint32_t>(entry) >= index.count || song == 0) return 0;
    const char* line = index.text + index.entries[entry].offset;
    const char* text_end = index.text + index.size;
    const uint32_t scan = static_cast<uint32_t>(text_end - line) < kLongestTimesScan
                              ? static_cast<uint32_t>(text_end - line)
                              : kLongestTimesScan;
    const char* newline = static_cast<const char*>(std::memchr(line, '\n', scan));
    const char* end = newline != nullptr ? newline : line + scan;
    // A token that runs into the scan's limit may be cut short: never read.
    const bool cut = newline == nullptr && line + scan < text_end;
    const char* p = times_start(line, end);
    if (p == nullptr) return 0;
    // Tokens between blanks; one that starts with '(' is the attribute of the
    // time before it, written apart.
    for (uint32_t n = 0;;) {
        while (p < end && is_blank(*p)) ++p;
        if (p >= end) return 0;
        const char* token_end = p;
        while (token_end < end && !is_blank(*token_end)) ++token_end;
        if (*p != '(' && ++n == song) return cut && token_end == end ? 0 : parse_time(p, token_end);
        p = token_end;
    }
}
