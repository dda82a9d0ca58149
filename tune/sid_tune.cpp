#include "tune/sid_tune.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "tune/psid_header.h"

namespace {

// Reads at most `capacity` bytes of the file in one read: the host runs the
// loader for every file of a playlist, and at a few KB the system calls are
// the cost. A read that returns less than asked for has met the end of the
// file; nothing is read again to find it, and nothing is allocated. Returns
// the byte count, or -1 when the file cannot be opened.
int32_t read_file_once(const char* path, void* buffer, uint32_t capacity) {
#if defined(_WIN32)
    // In the DLLs their own small C library makes this one CreateFile, one
    // ReadFile and one CloseHandle, with no heap (plugin/mini_crt.cpp).
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return -1;
    std::setvbuf(file, nullptr, _IONBF, 0);
    const size_t got = std::fread(buffer, 1, capacity, file);
    std::fclose(file);
    return static_cast<int32_t>(got);
#else
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return -1;
    const ssize_t got = ::read(file, buffer, capacity);
    ::close(file);
    return got > 0 ? static_cast<int32_t>(got) : 0;
#endif
}

// The one buffer every load reads into: a file of 64 KiB or more is refused,
// so one byte more than the largest acceptable file tells "too large" apart.
uint8_t g_file_buffer[kSidImageSize];

// Header bytes past the end of a short file read as zero.
struct FileView {
    const uint8_t* bytes;
    uint32_t size;

    uint8_t at(uint32_t offset) const { return offset < size ? bytes[offset] : 0; }
    uint16_t big_endian(uint32_t offset) const {
        return static_cast<uint16_t>(at(offset) << 8 | at(offset + 1));
    }
    uint16_t little_endian(uint32_t offset) const {
        return static_cast<uint16_t>(at(offset) | at(offset + 1) << 8);
    }
    // At most kSidTextLength characters, stopping at a zero byte.
    void copy_text(uint32_t offset, char* out) const {
        uint32_t n = 0;
        while (n < kSidTextLength && at(offset + n) != 0) {
            out[n] = static_cast<char>(at(offset + n));
            ++n;
        }
        out[n] = '\0';
    }
};

bool in_io_area(uint32_t address) { return address >= c64::kIoFirst && address <= c64::kIoLast; }

// The acceptance rules in the order they are applied. Each later rule would
// only ever see a cleared tune once an earlier one refused, so the first
// failing rule is the whole verdict.
SidVerdict judge(const SidTune& tune) {
    const uint32_t load = tune.load_address;
    if (load < c64::kMinLoadAddress) return SidVerdict::LoadBelowMinimum;
    if (in_io_area(tune.play_address)) return SidVerdict::PlayInIoArea;
    if (in_io_area(tune.init_address)) return SidVerdict::InitInIoArea;
    if (load + tune.length < tune.init_address) return SidVerdict::InitBeyondImage;
    if (tune.play_address == 0) return SidVerdict::NoPlayAddress;
    if (load == c64::kBasicStart) return SidVerdict::LoadsAtBasicStart;
    return SidVerdict::Accepted;
}

void apply_patch(SidTune& tune) {
    if (tune.init_address != c64::kPatchInit || tune.load_address > c64::kPatchAddress) return;
    uint8_t& opcode = tune.image[c64::kPatchAddress - tune.load_address];
    if (opcode == c64::kPatchFrom) opcode = c64::kPatchTo;
}

bool image_touches_cia2(const SidTune& tune) {
    if (tune.length < 2) return false;
    const uint8_t* const first = tune.image;
    const uint8_t* const last = tune.image + tune.length - 1;  // a pair must start before it
    for (const uint8_t* p = first; p < last;) {
        p = static_cast<const uint8_t*>(
            std::memchr(p, c64::kCia2ControlLow, static_cast<size_t>(last - p)));
        if (p == nullptr) return false;
        if (p[1] == c64::kCia2ControlHigh) return true;
        ++p;
    }
    return false;
}

void store_path(const char* path, SidTune& tune) {
    if (path == nullptr) return;
    std::strncpy(tune.path, path, kSidPathLength);
    tune.path[kSidPathLength] = '\0';
}

// How much of a record's image may hold anything but zeros: its length, or,
// when the image reaches the top of memory (a trimmed tail stays behind),
// all of it. Clearing only that much keeps a load of a small tune from
// writing 64 KB of zeros over zeros.
uint32_t image_in_use(const SidTune& tune) {
    const uint32_t end = static_cast<uint32_t>(tune.load_address) + tune.length;
    return end >= kSidImageSize ? static_cast<uint32_t>(kSidImageSize) : tune.length;
}

// The cleared state, given that image bytes from `image_bytes` on are zero.
void clear_record(SidTune& tune, uint32_t image_bytes) {
    auto* const record = reinterpret_cast<uint8_t*>(&tune);
    std::memset(record, 0, offsetof(SidTune, image));
    std::memset(tune.image, 0, image_bytes);
    std::memset(record + offsetof(SidTune, length), 0, sizeof tune - offsetof(SidTune, length));
}

// Everything after the read. `opened` is false for a file that could not be
// opened: such a file goes on as zero bytes (and is then refused by the
// load-address rule, keeping its path) instead of stopping as empty.
SidLoadReport load_from(const uint8_t* bytes, uint32_t size, bool opened, const char* path,
                        SidTune& tune) {
    clear_record(tune, image_in_use(tune));
    SidLoadReport report{};
    if (opened && size == 0) return report.verdict = SidVerdict::Empty, report;
    if (size >= kSidImageSize) return report.verdict = SidVerdict::TooLarge, report;

    const FileView file{bytes, size};
    // Only the low byte of the data offset is used, read unsigned: the data
    // then start somewhere in the first 256 bytes of the file, never before it.
    const uint32_t data_offset = file.at(psid::kDataOffsetLow);
    uint32_t skip = 0;
    tune.load_address = file.big_endian(psid::kLoadAddress);
    if (tune.load_address == 0) {
        tune.load_address = file.little_endian(data_offset);
        skip = 2;
    }

    const int32_t data_bytes = static_cast<int32_t>(size - data_offset - skip);
    const uint32_t copied = data_bytes > 0 ? static_cast<uint32_t>(data_bytes) : 0;
    if (copied > 0) std::memcpy(tune.image, bytes + data_offset + skip, copied);

    tune.init_address = file.big_endian(psid::kInitAddress);
    tune.play_address = file.big_endian(psid::kPlayAddress);
    tune.songs = file.at(psid::kSongsLow);
    tune.start_song = file.at(psid::kStartSongLow);
    file.copy_text(psid::kName, tune.name);
    file.copy_text(psid::kAuthor, tune.author);
    file.copy_text(psid::kCopyright, tune.copyright);

    // A file that ends before its data wraps to a huge length here, which the
    // trim below cuts to the top of C64 memory: such a tune sends zeros.
    tune.length = static_cast<uint16_t>(data_bytes);
    if (static_cast<uint32_t>(tune.load_address) + tune.length > kSidImageSize) {
        tune.length = static_cast<uint16_t>(kSidImageSize - tune.load_address);
    }

    report.load_address = tune.load_address;
    report.init_address = tune.init_address;
    report.play_address = tune.play_address;
    report.length = tune.length;

    report.verdict = judge(tune);
    if (report.verdict == SidVerdict::Accepted) {
        apply_patch(tune);
        if (image_touches_cia2(tune)) report.verdict = SidVerdict::TouchesCia2;
    }
    // The patch changes a byte only where it found data, so nothing past the
    // copied bytes needs clearing.
    if (report.verdict != SidVerdict::Accepted) clear_record(tune, copied);
    if (!opened) report.verdict = SidVerdict::Unreadable;
    store_path(path, tune);
    return report;
}

}  // namespace

void sid_tune_clear(SidTune& tune) { std::memset(&tune, 0, sizeof tune); }

SidLoadReport sid_tune_load(const char* path, SidTune& tune) {
    const int32_t got = path != nullptr ? read_file_once(path, g_file_buffer, sizeof g_file_buffer) : -1;
    return load_from(g_file_buffer, got > 0 ? static_cast<uint32_t>(got) : 0, got >= 0, path, tune);
}

SidLoadReport sid_tune_load_bytes(const uint8_t* file, uint32_t size, const char* path,
                                  SidTune& tune) {
    return load_from(file, size, true, path, tune);
}

int sid_is_our_file(const char* path) {
    char magic[sizeof psid::kMagic];
    const int32_t got = path != nullptr ? read_file_once(path, magic, sizeof magic) : -1;
    return got == sizeof magic && std::memcmp(magic, psid::kMagic, sizeof magic) == 0 ? 1 : 0;
}

const char* sid_verdict_name(SidVerdict verdict) {
    switch (verdict) {
        case SidVerdict::Accepted: return "accepted";
        case SidVerdict::Unreadable: return "unreadable";
        case SidVerdict::Empty: return "empty";
        case SidVerdict::TooLarge: return "too-large";
        case SidVerdict::LoadBelowMinimum: return "load-below-03f0";
        case SidVerdict::PlayInIoArea: return "play-in-io";
        case SidVerdict::InitInIoArea: return "init-in-io";
        case SidVerdict::InitBeyondImage: return "init-beyond-image";
        case SidVerdict::NoPlayAddress: return "no-play-address";
        case SidVerdict::LoadsAtBasicStart: return "loads-at-0801";
        case SidVerdict::TouchesCia2: return "touches-dd0e";
    }
    return "unknown";
}

const char* sid_verdict_text(SidVerdict verdict) {
    switch (verdict) {
        case SidVerdict::Accepted: return "the tune can be played over the cable";
        case SidVerdict::Unreadable: return "the file cannot be opened";
        case SidVerdict::Empty: return "the file is empty";
        case SidVerdict::TooLarge: return "the file is 64 KiB or larger";
        case SidVerdict::LoadBelowMinimum: return "the load address is below $03F0";
        case SidVerdict::PlayInIoArea: return "the play address lies in the I/O area $D000-$DFFF";
        case SidVerdict::InitInIoArea: return "the init address lies in the I/O area $D000-$DFFF";
        case SidVerdict::InitBeyondImage: return "the init address lies beyond the end of the data";
        case SidVerdict::NoPlayAddress:
            return "the play address is 0 (the tune installs its own interrupt)";
        case SidVerdict::LoadsAtBasicStart: return "the tune loads at $0801 (a BASIC program)";
        case SidVerdict::TouchesCia2: return "the data contain $0E $DD, the CIA 2 address $DD0E";
    }
    return "unknown verdict";
}
