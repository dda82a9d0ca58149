#include "rig/host/rig_support.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "rig/host/player_host.h"

namespace {
const char kSettingsKey[] = "SOFTWARE\\Winamp\\in_zorbin";

BOOL CALLBACK find_icon(HWND child, LPARAM found) {
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    // Some message boxes keep an empty icon control when they show none.
    if (lstrcmpiA(cls, "Static") == 0 && IsWindowVisible(child) &&
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageA(child, STM_GETICON, 0, 0) != 0)
        *reinterpret_cast<bool*>(found) = true;
    return TRUE;
}
}  // namespace

void rig_write_settings(DWORD port, DWORD time_ms, DWORD driver_flag) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Port", 0, REG_DWORD, reinterpret_cast<BYTE*>(&port), 4);
    RegSetValueExA(key, "Time", 0, REG_DWORD, reinterpret_cast<BYTE*>(&time_ms), 4);
    RegSetValueExA(key, "UserPort", 0, REG_DWORD, reinterpret_cast<BYTE*>(&driver_flag), 4);
    RegCloseKey(key);
}

void rig_delete_settings() { RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey); }

void rig_write_setting(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void rig_delete_setting(const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

bool rig_read_setting(const char* name, DWORD& value) {
    DWORD size = sizeof value;
    return RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_ANY, nullptr, &value,
                        &size) == ERROR_SUCCESS;
}

void* rig_patch_import(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name;
         ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(
            base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
            const auto* by_name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(by_name->Name), function) != 0) continue;
            DWORD old_protect;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                           &old_protect);
            void* before = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<DWORD>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old_protect,
                           &old_protect);
            return before;
        }
    }
    return nullptr;
}

std::string rig_tune_file(const std::string& name, const PsidSpec& spec) {
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    const std::string path = std::string(dir) + "zorbin_rig_" + name;
    const std::vector<uint8_t> bytes = make_psid(spec);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

PsidSpec rig_tune(uint16_t length, uint16_t songs, uint16_t start_song) {
    PsidSpec spec;
    spec.load = 0x1234;  // init at the load address: accepted at any length
    spec.init = 0x1234;
    spec.play = 0x1567;
    spec.songs = songs;
    spec.start_song = start_song;
    spec.data = filler(length, static_cast<uint8_t>(length));
    return spec;
}

void rig_remove_driver_service() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (SC_HANDLE s = OpenServiceA(manager, "UserPort", SERVICE_ALL_ACCESS)) {
        SERVICE_STATUS status;
        ControlService(s, SERVICE_CONTROL_STOP, &status);
        DeleteService(s);
        CloseServiceHandle(s);
    }
    CloseServiceHandle(manager);
}

bool wait_until(const std::function<bool()>& condition, DWORD limit_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= limit_ms) {
            ADD_FAILURE() << "waited " << limit_ms << " ms for a condition that never held";
            return false;
        }
        Sleep(10);
    }
}

BoxAnswerer::BoxAnswerer(const char* caption, int button, DWORD timeout_ms)
    : caption_(caption), button_(button), timeout_ms_(timeout_ms) {
    thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
}

BoxAnswerer::~BoxAnswerer() { finish(); }

bool BoxAnswerer::finish() {
    if (thread_ != nullptr) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return answered_;
}

DWORD WINAPI BoxAnswerer::run(void* param) {
    BoxAnswerer& self = *static_cast<BoxAnswerer*>(param);
    HWND box = wait_for_window("#32770", self.caption_, self.timeout_ms_);
    if (box == nullptr) return 0;
    Sleep(50);  // let it finish laying out
    self.text = message_box_text(box);
    EnumChildWindows(box, find_icon, reinterpret_cast<LPARAM>(&self.has_icon));
    self.owned = GetWindow(box, GW_OWNER) != nullptr;
    press_button(box, self.button_);
    self.answered_ = true;
    return 0;
}

OnThread::OnThread(std::function<void()> work) : work_(std::move(work)) {
    thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
}

void OnThread::join() {
    if (thread_ == nullptr) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI OnThread::run(void* self) {
    static_cast<OnThread*>(self)->work_();
    return 0;
}
