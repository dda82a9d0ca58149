#include "rig/host/player_host.h"

#include <cstdio>

namespace {

HMODULE g_dll = nullptr;
InModule* g_module = nullptr;
HWND g_main_window = nullptr;
HostLog g_log;
volatile LONG g_repeat = 0;
bool g_stop_on_end_of_track = false;
OutModule g_output{};
std::function<void()> g_app_message_handler;

void note(const std::string& call) { g_log.output_calls.push_back(call); }

void __cdecl out_close() { note("close"); }
int __cdecl out_pause(int pause) {
    note("pause(" + std::to_string(pause) + ")");
    return 0;
}
void __cdecl out_set_volume(int v) { note("set_volume(" + std::to_string(v) + ")"); }
void __cdecl out_set_pan(int p) { note("set_pan(" + std::to_string(p) + ")"); }
int __cdecl out_get_output_time() {
    note("get_output_time");
    return 4321;
}
int __cdecl out_open(int, int, int, int, int) {
    note("open");
    return 0;
}
int __cdecl out_write(char*, int) {
    note("write");
    return 0;
}

void __cdecl set_info(int bitrate, int sample_rate, int stereo, int synched) {
    g_log.set_info.push_back(SetInfoCall{bitrate, sample_rate, stereo, synched});
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kHostMessage && lparam == kAskRepeat) {
        ++g_log.repeat_queries;
        return g_repeat ? 1 : 0;
    }
    if (message == WM_APP) {
        if (g_app_message_handler) g_app_message_handler();
        return 0;
    }
    if (message == kEndOfTrack) {
        ++g_log.end_of_track;
        if (g_stop_on_end_of_track && g_module != nullptr) g_module->stop();
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

struct FindRequest {
    const char* window_class;
    const char* title;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM param) {
    FindRequest& request = *reinterpret_cast<FindRequest*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (request.window_class && lstrcmpA(cls, request.window_class) != 0) return TRUE;
    if (request.title && window_text(window) != request.title) return TRUE;
    request.found = window;
    return FALSE;
}

}  // namespace

InModule* host_load(const char* dll, std::string& error,
                    const std::function<void(HMODULE)>& before_init) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = main_window_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZorbinRigPlayer";
    RegisterClassA(&wc);
    g_main_window = CreateWindowA("ZorbinRigPlayer", "rig player", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, wc.hInstance, nullptr);
    g_dll = LoadLibraryA(dll);
    if (g_dll == nullptr) {
        error = "LoadLibrary failed: " + std::to_string(GetLastError());
        return nullptr;
    }
    using GetModule = InModule*(__cdecl*)();
    auto get = reinterpret_cast<GetModule>(
        reinterpret_cast<void*>(GetProcAddress(g_dll, "winampGetInModule2")));
    if (get == nullptr) {
        error = "no export winampGetInModule2";
        return nullptr;
    }
    g_module = get();
    g_output.version = 0x10;
    g_output.description = const_cast<char*>("rig output");
    g_output.open = out_open;
    g_output.close = out_close;
    g_output.write = out_write;
    g_output.pause = out_pause;
    g_output.set_volume = out_set_volume;
    g_output.set_pan = out_set_pan;
    g_output.get_output_time = out_get_output_time;
    g_module->main_window = g_main_window;
    g_module->instance = g_dll;
    g_module->set_info = set_info;
    g_module->output = &g_output;
    if (before_init) before_init(g_dll);
    g_module->init();
    return g_module;
}

void host_unload() {
    if (g_dll) FreeLibrary(g_dll);
    g_dll = nullptr;
}

HostLog& host_log() { return g_log; }
void host_clear_log() { g_log = HostLog{}; }
void host_set_repeat(bool on) { InterlockedExchange(&g_repeat, on ? 1 : 0); }
HWND host_main_window() { return g_main_window; }
void host_stop_on_end_of_track(bool on) { g_stop_on_end_of_track = on; }
void host_on_app_message(std::function<void()> handler) { g_app_message_handler = std::move(handler); }

void host_pump(DWORD ms) {
    host_pump_until([] { return false; }, ms);
}

bool host_pump_until(const std::function<bool()>& done, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start >= timeout_ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

HWND find_window(const char* window_class, const char* title) {
    FindRequest request{window_class, title, nullptr};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

HWND wait_for_window(const char* window_class, const char* title, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = find_window(window_class, title)) return w;
        if (GetTickCount() - start >= timeout_ms) return nullptr;
        Sleep(10);
    }
}

// Reads the text the window keeps for itself, without a WM_GETTEXT: the
// plug-in's progress window belongs to a thread with no message loop, and a
// sent message would wait for the whole transfer.
std::string window_text(HWND window) {
    wchar_t wide[1024] = L"";
    InternalGetWindowText(window, wide, 1024);
    char text[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

std::string static_text(HWND dialog, int id) { return window_text(GetDlgItem(dialog, id)); }

std::string control_text(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::string message_box_text(HWND box) {
    // Message boxes show their text in the static control 0xFFFF.
    return static_text(box, 0xFFFF);
}

void press_button(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool window_has_style(HWND window, LONG style) {
    return (GetWindowLongA(window, GWL_STYLE) & style) == style;
}

bool save_window_bitmap(HWND window, const char* path) {
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    const DWORD row = static_cast<DWORD>((w * 3 + 3) & ~3);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + row * static_cast<DWORD>(h);
    bool ok = false;
    if (std::FILE* f = std::fopen(path, "wb")) {
        ok = std::fwrite(&file, sizeof file, 1, f) == 1 &&
             std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
             std::fwrite(bits, row, static_cast<size_t>(h), f) == static_cast<size_t>(h);
        std::fclose(f);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}
