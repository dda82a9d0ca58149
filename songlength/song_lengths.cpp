#include "songlength/song_lengths.h"

#include <windows.h>

#include <cstring>

#include "settings/settings.h"
#include "songlength/song_length_db.h"
#include "tune/sid_tune.h"

std::atomic<int32_t> g_song_length_ms{0};

namespace {

const char kDatabaseName[] = "DOCUMENTS\\Songlengths.md5";
// Ten times the collection's file today; a bigger one is not read.
constexpr DWORD kLargestDatabase = 64u * 1024 * 1024;
constexpr uint32_t kMostSongs = 256;

// What the database file looked like when it was read.
struct Stamp {
    DWORD size;
    FILETIME written;
};

char g_database_path[MAX_PATH];  // the one read, "" for none
Stamp g_database_stamp;
char* g_database_text = nullptr;  // VirtualAlloc'd, the file's bytes
SongLengthEntry g_entries[kSongLengthIndexCapacity];
SongLengthIndex g_index;

// The search's last answer: thousands of playlist entries share few folders.
char g_last_folder[MAX_PATH];
char g_last_folder_database[MAX_PATH];  // "" when the search found none

uint8_t g_tune_file[kSidImageSize];
uint32_t g_tune_times[kMostSongs];  // the playing tune's, 0: none
bool g_tune_has_entry = false;

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool is_file(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Copies at most MAX_PATH - 1 characters; false when `text` is longer.
bool copy_path(char* out, const char* text, size_t length) {
    if (length >= MAX_PATH) return false;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

// DOCUMENTS\Songlengths.md5 in the tune's folder or the nearest one above.
const char* search_database(const char* tune_path) {
    const char* last = nullptr;
    for (const char* p = tune_path; *p != '\0'; ++p)
        if (is_separator(*p)) last = p;
    if (last == nullptr) return nullptr;
    char folder[MAX_PATH];
    if (!copy_path(folder, tune_path, static_cast<size_t>(last - tune_path))) return nullptr;
    if (std::strcmp(folder, g_last_folder) == 0)
        return g_last_folder_database[0] != '\0' ? g_last_folder_database : nullptr;
    std::strncpy(g_last_folder, folder, MAX_PATH);
    g_last_folder_database[0] = '\0';
    for (size_t length = std::strlen(folder);;) {
        char candidate[MAX_PATH];
        if (length + 1 + sizeof kDatabaseName <= MAX_PATH) {
            std::memcpy(candidate, folder, length);
            candidate[length] = '\\';
            std::memcpy(candidate + length + 1, kDatabaseName, sizeof kDatabaseName);
            if (is_file(candidate)) {
                std::strncpy(g_last_folder_database, candidate, MAX_PATH);
                return g_last_folder_database;
            }
        }
        while (length > 0 && !is_separator(folder[length - 1])) --length;
        if (length == 0) return nullptr;
        --length;  // the separator itself
        if (length == 0) return nullptr;
    }
}

bool read_stamp(const char* path, Stamp& stamp) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    stamp.size = found.nFileSizeHigh != 0 ? MAXDWORD : found.nFileSizeLow;
    stamp.written = found.ftLastWriteTime;
    return true;
}

void forget_database() {
    if (g_database_text != nullptr) VirtualFree(g_database_text, 0, MEM_RELEASE);
    g_database_text = nullptr;
    g_database_path[0] = '\0';
    g_index = SongLengthIndex{};
}

// Reads the whole file; a file another program holds open for writing alone,
// or one that shrinks while read, is simply not taken this time.
bool read_database(const char* path, const Stamp& stamp) {
    if (stamp.size == 0 || stamp.size > kLargestDatabase) return false;
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char* text = static_cast<char*>(VirtualAlloc(nullptr, stamp.size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD got = 0;
    const bool read = text != nullptr && ReadFile(file, text, stamp.size, &got, nullptr) &&
                      got == stamp.size;
    CloseHandle(file);
    if (!read) {
        if (text != nullptr) VirtualFree(text, 0, MEM_RELEASE);
        return false;
    }
    g_database_text = text;
    song_length_index_build(g_index, text, stamp.size, g_entries, kSongLengthIndexCapacity);
    return true;
}

// The index of the database that applies to `tune_path`, read again only
// when that is another file or the file has changed; null when there is none.
const SongLengthIndex* database_for(const char* tune_path) {
    if (g_settings.song_lengths == 0) return nullptr;
    const char* path = g_settings.song_lengths_file[0] != '\0' ? g_settings.song_lengths_file
                                                               : search_database(tune_path);
    Stamp stamp;
    if (path == nullptr || !read_stamp(path, stamp)) return nullptr;
    if (std::strcmp(path, g_database_path) == 0 && stamp.size == g_database_stamp.size &&
        stamp.written.dwLowDateTime == g_database_stamp.written.dwLowDateTime &&
        stamp.written.dwHighDateTime == g_database_stamp.written.dwHighDateTime)
        return &g_index;
    forget_database();
    if (!read_database(path, stamp)) return nullptr;
    std::strncpy(g_database_path, path, MAX_PATH);
    g_database_stamp = stamp;
    return &g_index;
}

// The tune's entry by the MD5 of its whole file; kNoSongLengthEntry when none.
int32_t tune_entry(const SongLengthIndex& index, const char* tune_path) {
    const HANDLE file = CreateFileA(tune_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kNoSongLengthEntry;
    DWORD got = 0;
    const bool read = ReadFile(file, g_tune_file, sizeof g_tune_file, &got, nullptr) != 0;
    CloseHandle(file);
    if (!read || got == 0 || got == sizeof g_tune_file) return kNoSongLengthEntry;  // the loader refuses it
    uint8_t md5[kMd5Size];
    md5_digest(g_tune_file, got, md5);
    return song_length_find(index, md5);
}

}  // namespace

uint32_t song_lengths_lookup(const char* path, uint32_t song) {
    if (path == nullptr || song == 0) return 0;
    const SongLengthIndex* index = database_for(path);
    if (index == nullptr || index->count == 0) return 0;
    return song_length_ms(*index, tune_entry(*index, path), song);
}

void song_lengths_take_tune(const char* path) {
    std::memset(g_tune_times, 0, sizeof g_tune_times);
    g_tune_has_entry = false;
    const SongLengthIndex* index = path != nullptr ? database_for(path) : nullptr;
    if (index == nullptr || index->count == 0) return;
    const int32_t entry = tune_entry(*index, path);
    if (entry == kNoSongLengthEntry) return;
    g_tune_has_entry = true;
    for (uint32_t song = 1; song <= kMostSongs; ++song)
        g_tune_times[song - 1] = song_length_ms(*index, entry, song);
}

bool song_lengths_select(uint32_t song) {
    const uint32_t ms = song >= 1 && song <= kMostSongs ? g_tune_times[song - 1] : 0;
    g_song_length_ms.store(static_cast<int32_t>(ms), std::memory_order_relaxed);
    return g_tune_has_entry;
}
