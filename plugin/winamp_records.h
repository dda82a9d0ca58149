// The player's two records as an input plug-in sees them (layout version
// 0x100). Every field is 32 bits on Win32; every function is __cdecl.
#pragma once

#include <windows.h>

#include <cstddef>

struct OutModule;

struct InModule {
    int version;              // 0x100
    char* description;
    HWND main_window;         // filled by the host before init
    HINSTANCE instance;       // filled by the host before init
    char* extensions;         // "ext\0description\0...\0"
    int is_seekable;
    int uses_output;
    void(__cdecl* config)(HWND parent);
    void(__cdecl* about)(HWND parent);
    void(__cdecl* init)();
    void(__cdecl* quit)();
    void(__cdecl* get_file_info)(char* file, char* title, int* length_ms);
    int(__cdecl* info_box)(char* file, HWND parent);
    int(__cdecl* is_our_file)(char* file);
    int(__cdecl* play)(char* file);
    void(__cdecl* pause)();
    void(__cdecl* unpause)();
    int(__cdecl* is_paused)();
    void(__cdecl* stop)();
    int(__cdecl* get_length)();
    int(__cdecl* get_output_time)();
    void(__cdecl* set_output_time)(int ms);
    void(__cdecl* set_volume)(int volume);
    void(__cdecl* set_pan)(int pan);
    // Visualisation, DSP and equaliser services: the host fills these.
    void(__cdecl* vis_init)(int max_latency_ms, int sample_rate);
    void(__cdecl* vis_deinit)();
    void(__cdecl* vis_add_pcm)(void* pcm, int channels, int bits, int timestamp);
    int(__cdecl* vis_get_mode)();
    int(__cdecl* vis_add)(void* data, int timestamp, int csa);
    void(__cdecl* vis2_add_pcm)(void* pcm, int channels, int bits, int timestamp);
    int(__cdecl* vis2_get_mode)(int* spectrum, int* waveform);
    int(__cdecl* vis2_add)(void* data, int timestamp);
    void(__cdecl* vis2_set_info)(int sample_rate, int channels);
    int(__cdecl* dsp_is_active)();
    int(__cdecl* dsp_do_samples)(short* samples, int count, int bits, int channels, int rate);
    void(__cdecl* eq_set)(int on, char data[10], int preamp);
    // Filled by the host.
    void(__cdecl* set_info)(int bitrate, int sample_rate, int stereo, int synched);
    OutModule* output;
};

struct OutModule {
    int version;
    char* description;
    int id;
    HWND main_window;
    HINSTANCE instance;
    void(__cdecl* config)(HWND parent);
    void(__cdecl* about)(HWND parent);
    void(__cdecl* init)();
    void(__cdecl* quit)();
    int(__cdecl* open)(int sample_rate, int channels, int bits, int buffer_ms, int prebuffer_ms);
    void(__cdecl* close)();
    int(__cdecl* write)(char* data, int length);
    int(__cdecl* can_write)();
    int(__cdecl* is_playing)();
    int(__cdecl* pause)(int pause);
    void(__cdecl* set_volume)(int volume);
    void(__cdecl* set_pan)(int pan);
    void(__cdecl* flush)(int time_ms);
    int(__cdecl* get_output_time)();
    int(__cdecl* get_written_time)();
};

static_assert(sizeof(void*) != 4 || sizeof(InModule) == 152, "input-module record is 38 fields");
static_assert(sizeof(void*) != 4 || sizeof(OutModule) == 80, "output-module record is 20 fields");
static_assert(sizeof(void*) != 4 || offsetof(InModule, set_info) == 0x90, "set-info slot");

enum : UINT {
    kHostMessage = WM_USER,          // with lParam kAskRepeat: is repeat on?
    kEndOfTrack = WM_USER + 2,       // the track is over
};
enum : LPARAM { kAskRepeat = 251 };
