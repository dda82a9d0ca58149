// The few C library functions the plug-in uses, on top of the system DLLs,
// so that each DLL imports only KERNEL32, USER32 (and, in the full build,
// ADVAPI32 and COMCTL32): no C runtime DLL has to be present or match.
// File streams are thin wrappers over Win32 file handles from a fixed pool;
// formatting goes through the system's own wvsprintfA (1024 characters).
#include <windows.h>

#include <cstdarg>
#include <cstddef>

// Not <cstdio>: its inline wrappers would clash with the definitions here.
typedef struct _iobuf FILE;

extern "C" {

BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD, LPVOID) { return TRUE; }

// The compiler may call these for copies and clears of its own.
void* memcpy(void* dest, const void* src, size_t n) {
    auto* d = static_cast<unsigned char*>(dest);
    const auto* s = static_cast<const unsigned char*>(src);
    while (n--) *d++ = *s++;
    return dest;
}

void* memmove(void* dest, const void* src, size_t n) {
    auto* d = static_cast<unsigned char*>(dest);
    const auto* s = static_cast<const unsigned char*>(src);
    if (d < s) {
        while (n--) *d++ = *s++;
    } else {
        while (n--) d[n] = s[n];
    }
    return dest;
}

void* memset(void* dest, int value, size_t n) {
    auto* d = static_cast<unsigned char*>(dest);
    while (n--) *d++ = static_cast<unsigned char>(value);
    return dest;
}

int memcmp(const void* a, const void* b, size_t n) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    for (; n--; ++x, ++y)
        if (*x != *y) return *x - *y;
    return 0;
}

void* memchr(const void* p, int value, size_t n) {
    const auto* s = static_cast<const unsigned char*>(p);
    for (; n--; ++s)
        if (*s == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(s);
    return nullptr;
}

size_t strlen(const char* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

int strcmp(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

char* strncpy(char* dest, const char* src, size_t n) {
    size_t i = 0;
    for (; i < n && src[i]; ++i) dest[i] = src[i];
    for (; i < n; ++i) dest[i] = '\0';
    return dest;
}

char* strncat(char* dest, const char* src, size_t n) {
    char* end = dest + strlen(dest);
    while (n-- && *src) *end++ = *src++;
    *end = '\0';
    return dest;
}

int vsnprintf(char* out, size_t size, const char* format, va_list args) {
    char text[1025];
    const int length = wvsprintfA(text, format, args);
    if (size > 0) {
        const size_t n = static_cast<size_t>(length) < size ? static_cast<size_t>(length) : size - 1;
        memcpy(out, text, n);
        out[n] = '\0';
    }
    return length;
}

int snprintf(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(out, size, format, args);
    va_end(args);
    return length;
}

// What MinGW's <cstdio> turns snprintf calls into in C++.
int __mingw_vsnprintf(char* out, size_t size, const char* format, va_list args) {
    return vsnprintf(out, size, format, args);
}

}  // extern "C"

namespace {

struct Stream {
    HANDLE handle;
    bool used;
};
Stream g_streams[4];  // the plug-in never has more than one file open

Stream* as_stream(FILE* file) { return reinterpret_cast<Stream*>(file); }

}  // namespace

extern "C" {

// Shares reads and writes as the system's own C library does: a tune that
// another program still holds open for writing must stay readable.
FILE* fopen(const char* path, const char* mode) {
    const bool write = mode[0] == 'w';
    HANDLE handle = CreateFileA(path, write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                write ? CREATE_ALWAYS : OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    for (Stream& s : g_streams) {
        if (!s.used) {
            s.used = true;
            s.handle = handle;
            return reinterpret_cast<FILE*>(&s);
        }
    }
    CloseHandle(handle);
    return nullptr;
}

int setvbuf(FILE*, char*, int, size_t) { return 0; }  // never buffered anyway

// One ReadFile: the plug-in reads only disk files, where a read that returns
// less than asked for has met the end of the file. Asking again only to be
// told so would cost a system call per file of a playlist.
size_t fread(void* buffer, size_t size, size_t count, FILE* file) {
    DWORD got = 0;
    if (!ReadFile(as_stream(file)->handle, buffer, static_cast<DWORD>(size * count), &got, nullptr))
        return 0;
    return size ? got / size : 0;
}

size_t fwrite(const void* buffer, size_t size, size_t count, FILE* file) {
    DWORD n = 0;
    WriteFile(as_stream(file)->handle, buffer, static_cast<DWORD>(size * count), &n, nullptr);
    return size ? n / size : 0;
}

int fclose(FILE* file) {
    Stream* s = as_stream(file);
    CloseHandle(s->handle);
    s->used = false;
    return 0;
}

// The normal process exit: the system tells every DLL, ours included.
void exit(int status) { ExitProcess(static_cast<UINT>(status)); }

}  // extern "C"
