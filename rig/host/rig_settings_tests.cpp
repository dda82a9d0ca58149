// Settings, the Configuration dialog and the driver set-up, in the real DLL.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <vector>

#include "rig/host/rig_fixture.h"

namespace {

const char kKey[] = "SOFTWARE\\Winamp\\in_zorbin";

DWORD value_type(const char* name) {
    DWORD type = 0;
    RegGetValueA(HKEY_CURRENT_USER, kKey, name, RRF_RT_ANY, &type, nullptr, nullptr);
    return type;
}

DWORD setting(const char* name) {
    DWORD value = 0xDEADBEEF;
    rig_read_setting(name, value);
    return value;
}

int file_info_length(InModule* module, const char* file) {
    char title[1024];
    int length = -2;
    module->get_file_info(const_cast<char*>(file), title, &length);
    return length;
}

class RigSettings : public PlayerRig {
protected:
    void SetUp() override {}  // each test prepares the registry first
};

TEST_F(RigSettings, FirstStartWritesTheDefaults) {
    rig_delete_settings();
    load_as_is();
    EXPECT_EQ(setting("Port"), 0x378u);
    EXPECT_EQ(setting("Time"), 150000u);
    EXPECT_EQ(setting("UserPort"), 0u);
    EXPECT_EQ(value_type("Time"), static_cast<DWORD>(REG_DWORD));
}

TEST_F(RigSettings, ValuesAreReadAsFourByteNumbers) {
    rig_write_settings(0x00010278, 150000, 1);
    const DWORD binary_time = 42000;
    rig_write_setting("Time", REG_BINARY, &binary_time, 4);  // another type, 4 bytes: a number
    load_as_is(g_dll_path, 0x278);
    EXPECT_EQ(play(rig_tune_file("p278.sid", rig_tune(32, 1))), 0);  // the port's low 16 bits
    EXPECT_EQ(file_info_length(module_, ""), 42000);
    unload();

    const uint8_t longer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    rig_write_setting("Time", REG_BINARY, longer, sizeof longer);  // too long: replaced
    load_as_is();
    EXPECT_EQ(value_type("Time"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(setting("Time"), 150000u);
}

// Init's steps, seen through the DLL's own imports.
std::vector<std::string> g_init_calls;
decltype(&RegOpenKeyExA) g_real_reg_open;
decltype(&GetVersionExA) g_real_get_version;
decltype(&InitCommonControls) g_real_init_controls;

LONG WINAPI noting_reg_open(HKEY key, LPCSTR name, DWORD options, REGSAM access, PHKEY out) {
    g_init_calls.push_back("settings");
    return g_real_reg_open(key, name, options, access, out);
}
BOOL WINAPI noting_get_version(LPOSVERSIONINFOA info) {
    g_init_calls.push_back("port access");
    return g_real_get_version(info);
}
void WINAPI noting_init_controls() {
    g_init_calls.push_back("common controls");
    g_real_init_controls();
}

TEST_F(RigSettings, InitLoadsTheSettingsFirstAndNeedsNoNewCommonControls) {
    rig_write_settings(0x378, 150000, 1);
    g_init_calls.clear();
    bool all_hooked = false;
    load_as_is(g_dll_path, 0x378, [&](HMODULE dll) {
        g_real_reg_open = reinterpret_cast<decltype(g_real_reg_open)>(rig_patch_import(
            dll, "ADVAPI32.dll", "RegOpenKeyExA", reinterpret_cast<void*>(noting_reg_open)));
        g_real_get_version = reinterpret_cast<decltype(g_real_get_version)>(rig_patch_import(
            dll, "KERNEL32.dll", "GetVersionExA", reinterpret_cast<void*>(noting_get_version)));
        // The one every common controls version has (Windows 95 included).
        g_real_init_controls = reinterpret_cast<decltype(g_real_init_controls)>(
            rig_patch_import(dll, "COMCTL32.DLL", "InitCommonControls",
                             reinterpret_cast<void*>(noting_init_controls)));
        all_hooked = g_real_reg_open && g_real_get_version && g_real_init_controls;
    });
    EXPECT_TRUE(all_hooked);
    EXPECT_EQ(g_init_calls,
              (std::vector<std::string>{"settings", "port access", "common controls"}));
}

// What a test thread saw of the dialog and what it did.
struct DialogVisit {
    std::string port, time, time_after;
    int position = -1;
    bool checked = false;
    bool asked = false;
    int end_of_track_when_asked = -1;
};

HWND find_config() { return wait_for_window("#32770", "Configuration", 20000); }

void read_dialog(HWND dialog, DialogVisit& visit) {
    visit.port = control_text(dialog, 1015);
    visit.time = control_text(dialog, 1007);
    visit.position = LOWORD(SendDlgItemMessageA(dialog, 1017, UDM_GETPOS, 0, 0));
    visit.checked = IsDlgButtonChecked(dialog, 1022) == BST_CHECKED;
}

// Opens the dialog (modal on this thread) while `hand` works it.
void run_config(InModule* module, std::function<void(HWND)> hand) {
    OnThread thread([&] {
        HWND dialog = find_config();
        if (dialog != nullptr) hand(dialog);
    });
    module->config(host_main_window());
}

// The dialog has filled its fields once the port list holds its three ports.
bool port_list_filled(HWND dialog) {
    return SendDlgItemMessageA(dialog, 1015, CB_GETCOUNT, 0, 0) == 3;
}

void choose_port(HWND dialog, int index) {
    SendDlgItemMessageA(dialog, 1015, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

TEST_F(RigSettings, DialogWithDefaultsAndOkWithoutChanges) {
    rig_delete_settings();
    load_as_is();
    HKEY key;  // start the dialog with nothing stored, to see what OK writes
    RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &key);
    RegDeleteValueA(key, "Time");
    RegDeleteValueA(key, "UserPort");
    RegDeleteValueA(key, "Port");
    RegCloseKey(key);
    DialogVisit visit;
    run_config(module_, [&](HWND dialog) {
        wait_until([&] { return port_list_filled(dialog); });
        read_dialog(dialog, visit);
        shoot(dialog, "configuration");
        press_button(dialog, IDOK);
    });
    EXPECT_EQ(visit.port, "0x378");
    EXPECT_EQ(visit.time, "02:30");
    EXPECT_EQ(visit.position, 5);
    EXPECT_FALSE(visit.checked);
    EXPECT_EQ(setting("Time"), 150000u);
    EXPECT_EQ(setting("UserPort"), 0u);
    DWORD port;
    EXPECT_FALSE(rig_read_setting("Port", port));  // not written without a change
    EXPECT_EQ(host_log().end_of_track, 0);
}

TEST_F(RigSettings, TimeIsShownAndStoredInThirtySecondSteps) {
    rig_write_settings(0x378, 45000, 0);
    load_as_is();
    DialogVisit visit;
    run_config(module_, [&](HWND dialog) {
        wait_until([&] { return port_list_filled(dialog); });
        read_dialog(dialog, visit);
        press_button(dialog, IDOK);
    });
    EXPECT_EQ(visit.time, "00:30");
    EXPECT_EQ(visit.position, 1);
    EXPECT_EQ(setting("Time"), 30000u);
    EXPECT_EQ(file_info_length(module_, ""), 30000);  // at once, for every file
}

TEST_F(RigSettings, PortChangeAsksAndNoKeepsThePort) {
    rig_write_settings(0x378, 150000, 0);
    load_as_is();
    DialogVisit visit;
    run_config(module_, [&](HWND dialog) {
        wait_until([&] { return port_list_filled(dialog); });
        choose_port(dialog, 1);  // 0x278
        SendDlgItemMessageA(dialog, 1017, UDM_SETPOS, 0, MAKELPARAM(8, 0));
        CheckDlgButton(dialog, 1022, BST_CHECKED);
        wait_until([&] { return control_text(dialog, 1007) == "04:00"; });
        visit.time_after = control_text(dialog, 1007);
        press_button(dialog, IDOK);
        HWND box = wait_for_window("#32770", "Warning", 10000);
        visit.asked = box != nullptr;
        if (box) {
            visit.port = message_box_text(box);
            shoot(box, "port-warning");
            press_button(box, IDNO);
        }
    });
    EXPECT_TRUE(visit.asked);
    EXPECT_EQ(visit.port,
              "You want to change port address (this may hang system).\nAre you sure what you are doing?");
    EXPECT_EQ(visit.time_after, "04:00");
    EXPECT_EQ(setting("Port"), 0x378u);
    EXPECT_EQ(setting("Time"), 240000u);
    EXPECT_EQ(setting("UserPort"), 1u);
    EXPECT_EQ(host_log().end_of_track, 0);
}

TEST_F(RigSettings, YesEndsTheTrackOnTheOldPortThenSwitches) {
    rig_write_settings(0x378, 150000, 1);
    load_as_is();
    ASSERT_EQ(play(rig_tune_file("switch.sid", rig_tune(32, 1))), 0);
    with_sim([](C64ReceiverSim& sim) { return sim.reset(), 0; });
    host_stop_on_end_of_track(true);  // as the player does: the stop must reach the old port
    run_config(module_, [&](HWND dialog) {
        wait_until([&] { return port_list_filled(dialog); });
        choose_port(dialog, 1);
        press_button(dialog, IDOK);
        if (HWND box = wait_for_window("#32770", "Warning", 10000)) press_button(box, IDYES);
    });
    host_stop_on_end_of_track(false);
    EXPECT_EQ(host_log().end_of_track, 1);  // sent, not posted: handled before config returned
    EXPECT_EQ(with_sim([](C64ReceiverSim& sim) { return sim.bytes(); }),
              (std::vector<uint8_t>{0x83, 0, 0}));
    EXPECT_EQ(setting("Port"), 0x278u);
    // The next port access goes to 0x278, where no C64 listens.
    BoxAnswerer box("Error", IDOK);
    EXPECT_EQ(play(rig_tune_file("switch.sid", rig_tune(32, 1))), 1);
    box.finish();
    EXPECT_EQ(box.text, "C64 not ready. Check cable.");
}

TEST_F(RigSettings, CancelStoresNothing) {
    rig_write_settings(0x378, 150000, 0);
    load_as_is();
    run_config(module_, [&](HWND dialog) {
        wait_until([&] { return port_list_filled(dialog); });
        SendDlgItemMessageA(dialog, 1017, UDM_SETPOS, 0, MAKELPARAM(2, 0));
        CheckDlgButton(dialog, 1022, BST_CHECKED);
        choose_port(dialog, 2);
        press_button(dialog, IDCANCEL);
    });
    EXPECT_EQ(setting("Time"), 150000u);
    EXPECT_EQ(setting("UserPort"), 0u);
    EXPECT_EQ(setting("Port"), 0x378u);
    EXPECT_EQ(file_info_length(module_, ""), 150000);
}

TEST_F(RigSettings, PortOutsideTheListLeavesItEmptyAndAsks) {
    rig_write_settings(0x2F8, 150000, 0);
    load_as_is();
    DialogVisit visit;
    run_config(module_, [&](HWND dialog) {
        wait_until([&] { return port_list_filled(dialog); });
        read_dialog(dialog, visit);
        press_button(dialog, IDOK);
        HWND box = wait_for_window("#32770", "Warning", 10000);
        visit.asked = box != nullptr;
        if (box) press_button(box, IDYES);
    });
    EXPECT_EQ(visit.port, "");
    EXPECT_TRUE(visit.asked);
    EXPECT_EQ(setting("Port"), 0x2F8u);  // written, unchanged
    EXPECT_EQ(host_log().end_of_track, 1);
}

// --- the driver set-up ------------------------------------------------------

std::string windows_dir() {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return dir;
}

std::vector<uint8_t> file_bytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

std::vector<uint8_t> driver_resource() {
    HMODULE dll = LoadLibraryExA(g_dll_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = FindResourceA(dll, "USERPORTSYS", "BIN");
    std::vector<uint8_t> bytes;
    if (found) {
        const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(dll, found)));
        bytes.assign(data, data + SizeofResource(dll, found));
    }
    FreeLibrary(dll);
    return bytes;
}

TEST_F(RigSettings, DriverSetUpWritesInstallsAndStartsOurDriver) {
    const std::string driver = windows_dir() + "\\system32\\drivers\\UserPort.sys";
    DeleteFileA(driver.c_str());
    rig_remove_driver_service();
    rig_write_settings(0x378, 150000, 0);
    load_as_is();  // init: write, (re)create, start, open
    const std::vector<uint8_t> resource = driver_resource();
    ASSERT_FALSE(resource.empty());
    EXPECT_EQ(file_bytes(driver), resource);

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, "UserPort", SERVICE_ALL_ACCESS);
    ASSERT_NE(service, nullptr);
    alignas(8) uint8_t buffer[8192];
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigA(service, config, sizeof buffer, &needed));
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_SYSTEM_START));
    EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_STREQ(config->lpBinaryPathName, "\\SystemRoot\\System32\\Drivers\\UserPort.sys");
    EXPECT_STREQ(config->lpDisplayName, "UserPort");
    SERVICE_STATUS status{};
    QueryServiceStatus(service, &status);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));  // DriverEntry succeeded
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    HANDLE device = CreateFileA("\\\\.\\UserPort", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(device, INVALID_HANDLE_VALUE);  // our device exists and opens
    if (device != INVALID_HANDLE_VALUE) CloseHandle(device);

    // A second start-up removes and re-creates the service without a word.
    unload();
    load_as_is();
    EXPECT_EQ(find_window("#32770", "UserPort"), nullptr);
}

TEST_F(RigSettings, WithTheFlagSetNothingIsInstalled) {
    const std::string driver = windows_dir() + "\\system32\\drivers\\UserPort.sys";
    rig_remove_driver_service();
    DeleteFileA(driver.c_str());
    rig_write_settings(0x378, 150000, 1);
    load_as_is();
    EXPECT_EQ(GetFileAttributesA(driver.c_str()), INVALID_FILE_ATTRIBUTES);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    EXPECT_EQ(OpenServiceA(manager, "UserPort", SERVICE_QUERY_STATUS), nullptr);
    CloseServiceHandle(manager);
}

TEST_F(RigSettings, UnwritableDriverFileIsReportedByItsPath) {
    const std::string driver = windows_dir() + "\\System32\\Drivers\\UserPort.sys";
    rig_remove_driver_service();
    DeleteFileA(driver.c_str());
    CreateDirectoryA(driver.c_str(), nullptr);  // a folder where the file should go
    rig_write_settings(0x378, 150000, 0);
    BoxAnswerer box("UserPort", IDOK);
    load_as_is();
    box.finish();
    RemoveDirectoryA(driver.c_str());
    EXPECT_EQ(box.text, "Driver does not exist:\r\n" + driver +
                            "\r\n\r\nYou have to log as user with administrator priviledges, so "
                            "that you can start port access service (UserPort.sys).");
    EXPECT_FALSE(box.has_icon);
    EXPECT_FALSE(box.owned);
}

UINT g_windows_dir_answer;
UINT WINAPI failing_windows_dir(LPSTR, UINT) { return g_windows_dir_answer; }

TEST_F(RigSettings, NoWindowsDirectoryEndsTheSetUpWithAMessage) {
    // 0: the call failed; more than the buffer holds: nothing was written.
    for (UINT answer : {0u, 4000u}) {
        g_windows_dir_answer = answer;
        rig_write_settings(0x378, 150000, 0);
        BoxAnswerer box("UserPort", IDOK, 8000);
        bool hooked = false;
        load_as_is(g_dll_path, 0x378, [&](HMODULE dll) {
            hooked = rig_patch_import(dll, "KERNEL32.dll", "GetWindowsDirectoryA",
                                      reinterpret_cast<void*>(failing_windows_dir)) != nullptr;
        });
        ASSERT_TRUE(hooked);
        ASSERT_TRUE(box.finish()) << answer;
        EXPECT_EQ(box.text, "Driver does not exist:\r\n\\SystemRoot\\System32\\Drivers\\UserPort.sys"
                            "\r\n\r\nYou have to log as user with administrator priviledges, so "
                            "that you can start port access service (UserPort.sys).")
            << answer;
        EXPECT_EQ(find_window("#32770", "UserPort"), nullptr);  // one message only
        unload();
    }
}

HRSRC WINAPI no_resource(HMODULE, LPCSTR, LPCSTR) { return nullptr; }
decltype(&WriteFile) g_real_write_file;
BOOL WINAPI short_write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED o) {
    return g_real_write_file(file, data, size / 2, written, o);
}

TEST_F(RigSettings, ADriverFileThatCouldNotBeFilledIsDeletedAndReported) {
    const std::string driver = windows_dir() + "\\System32\\Drivers\\UserPort.sys";
    const struct { const char* name; void* hook; } failures[] = {
        {"FindResourceA", reinterpret_cast<void*>(no_resource)},
        {"WriteFile", reinterpret_cast<void*>(short_write)}};
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.name);
        rig_remove_driver_service();
        rig_write_settings(0x378, 150000, 0);
        BoxAnswerer box("UserPort", IDOK, 8000);
        load_as_is(g_dll_path, 0x378, [&](HMODULE dll) {
            void* real = rig_patch_import(dll, "KERNEL32.dll", failure.name, failure.hook);
            if (failure.hook == reinterpret_cast<void*>(short_write))
                g_real_write_file = reinterpret_cast<decltype(g_real_write_file)>(real);
            ASSERT_NE(real, nullptr);
        });
        ASSERT_TRUE(box.finish());
        EXPECT_EQ(box.text.rfind("Driver does not exist:\r\n" + driver + "\r\n", 0), 0u) << box.text;
        EXPECT_EQ(GetFileAttributesA(driver.c_str()), INVALID_FILE_ATTRIBUTES);
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        EXPECT_EQ(OpenServiceA(manager, "UserPort", SERVICE_QUERY_STATUS), nullptr);
        CloseServiceHandle(manager);
        unload();
    }
}

}  // namespace
