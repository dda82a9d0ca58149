// Runs the real installer as users and the system's program list do, against
// fake player folders in the Wine prefix: silent installs of either build,
// the uninstaller started from its registry entry, the refusals, the steps
// that fail, and the port driver's removal.
//
// installer_test <release folder>   (dist\: the installer and both DLLs)
//
// Needs a display (a hidden top-level window plays the running player). It
// touches only its own folders under %TEMP%, the registry values the
// installer reads or writes and the port driver's service and file, and puts
// the player key's value back at the end.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "zorbin_release.h"

namespace {

const char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kPlayerEntry = std::string(kUninstallRoot) + "Winamp";
const char kPlayerKey[] = "Software\\Winamp";

enum {
    kExitNoPlayer = 3,
    kExitPlayerRunning = 4,
    kExitBadOption = 5,
    kExitDll = 6,
    kExitPapers = 7,
};
const char kDriverService[] = "UserPort";

std::string g_setup, g_work;
int g_failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::printf("  FAIL: %s\n", what.c_str());
        ++g_failures;
    }
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every file and folder (ending in a backslash) under a folder, with its
// contents: what "nothing else changed" is measured against.
using Tree = std::map<std::string, std::string>;
void snapshot(const std::string& dir, const std::string& prefix, Tree& tree) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[prefix + name + "\\"] = "";
            snapshot(dir + "\\" + name, prefix + name + "\\", tree);
        } else {
            tree[prefix + name] = read_file(dir + "\\" + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
Tree snapshot(const std::string& dir) {
    Tree tree;
    snapshot(dir, "", tree);
    return tree;
}

// Names what differs, so that a failure says what was left behind or taken.
void check_unchanged(const std::string& dir, const Tree& before, const std::string& what) {
    const Tree after = snapshot(dir);
    check(after == before, what);
    for (const auto& entry : after)
        if (!before.count(entry.first)) check(false, "left behind: " + entry.first);
    for (const auto& entry : before)
        if (!after.count(entry.first)) check(false, "removed: " + entry.first);
}

void remove_tree(const std::string& dir) {
    const Tree tree = snapshot(dir);
    for (auto entry = tree.rbegin(); entry != tree.rend(); ++entry) {  // contents before their folder
        const std::string& name = entry->first;
        if (name.back() == '\\')
            RemoveDirectoryA((dir + "\\" + name.substr(0, name.size() - 1)).c_str());
        else
            DeleteFileA((dir + "\\" + name).c_str());
    }
    RemoveDirectoryA(dir.c_str());
}

// A player folder as the player leaves it: its program, a plug-in of
// someone else's, a settings file.
std::string make_player(const std::string& dir) {
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA((dir + "\\Plugins").c_str(), nullptr);
    write_file(dir + "\\winamp.exe", "MZ not really the player");
    write_file(dir + "\\winamp.ini", "[Winamp]\r\n");
    write_file(dir + "\\Plugins\\in_other.dll", "MZ another input plug-in");
    return dir;
}

std::string reg_text(HKEY root, const std::string& key, const char* value) {
    char text[1024] = "";
    DWORD size = sizeof text;
    if (RegGetValueA(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return "";
    return text;
}

bool reg_has_key(HKEY root, const std::string& key) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

void reg_set_text(HKEY root, const std::string& key, const char* value, const std::string& text) {
    RegSetKeyValueA(root, key.c_str(), value, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// "" deletes the value: the player as if never installed.
void point_player_key_at(const std::string& dir) {
    if (dir.empty())
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kPlayerKey, nullptr);
    else
        reg_set_text(HKEY_CURRENT_USER, kPlayerKey, nullptr, dir);
}

struct Run {
    DWORD exit_code = 0xFFFFFFFF;
    std::string errors;  // what the program wrote to standard error
};

Run run(std::string command_line) {
    Run result;
    // A file per run: an uninstaller's copy may still hold the last one open.
    static int runs = 0;
    const std::string err_path = g_work + "\\stderr-" + std::to_string(++runs) + ".txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE err = CreateFileA(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &result.exit_code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(err);
    result.errors = read_file(err_path);
    return result;
}

std::string setup_command(const std::string& options) { return "\"" + g_setup + "\" /S" + options; }

// Our uninstall entries (names starting "in_zorbin"), by the folder each
// records.
std::map<std::string, std::string> our_entries() {
    std::map<std::string, std::string> entries;
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_READ, &root) != ERROR_SUCCESS) return entries;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(root, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        if (std::string(name).rfind("in_zorbin", 0) == 0)
            entries[reg_text(HKEY_LOCAL_MACHINE, kUninstallRoot + std::string(name), "InstallLocation")] =
                kUninstallRoot + std::string(name);
    RegCloseKey(root);
    return entries;
}

std::string entry_of(const std::string& player) {
    const auto entries = our_entries();
    const auto found = entries.find(player + "\\Plugins\\in_zorbin");
    return found == entries.end() ? "" : found->second;
}

// The uninstaller copies itself away and returns at once; the copy deletes
// our entry last, so the entry's going means it has finished.
bool uninstall_quietly(const std::string& player) {
    const std::string entry = entry_of(player);
    const std::string command = reg_text(HKEY_LOCAL_MACHINE, entry, "QuietUninstallString");
    if (command.empty()) return false;
    run(command);
    for (int i = 0; i < 300 && reg_has_key(HKEY_LOCAL_MACHINE, entry); ++i) Sleep(100);
    return !reg_has_key(HKEY_LOCAL_MACHINE, entry);
}

// _?= keeps the uninstaller in place, so that its own exit code comes back.
Run uninstall_in_place(const std::string& player) {
    const std::string folder = player + "\\Plugins\\in_zorbin";
    return run("\"" + folder + "\\uninstall.exe\" /S _?=" + folder);
}

// A silent install that must land the given DLL and the papers in `player`
// and register an uninstaller, which must leave the folder as it was.
void install_and_uninstall(const std::string& name, const std::string& player, const std::string& options,
                           const std::string& dll) {
    std::printf("case: %s\n", name.c_str());
    const Tree before = snapshot(player);
    const Run install = run(setup_command(options));
    check(install.exit_code == 0, "setup exits with 0, got " + std::to_string(install.exit_code) + " " +
                                      install.errors);
    const std::string plugins = player + "\\Plugins\\";
    const std::string installed = read_file(plugins + "in_zorbin.dll");
    check(!installed.empty() && installed == read_file(dll), "Plugins\\in_zorbin.dll is " + dll);
    for (const char* paper : {ZORBIN_PAPERS})  // the uninstaller by running
        check(exists(plugins + "in_zorbin\\" + paper), std::string("Plugins\\in_zorbin\\") + paper);

    const std::string uninstaller = "\"" + plugins + "in_zorbin\\uninstall.exe\"";
    const std::string key = entry_of(player);
    const auto entry = [&key](const char* value) { return reg_text(HKEY_LOCAL_MACHINE, key, value); };
    check(entry("UninstallString") == uninstaller, "UninstallString");
    check(entry("QuietUninstallString") == uninstaller + " /S", "QuietUninstallString");
    check(entry("DisplayVersion") == ZORBIN_VERSION_TEXT, "DisplayVersion");
    check(entry("DisplayName").find("in_zorbin") == 0, "DisplayName");
    check(!entry("Publisher").empty(), "Publisher");

    check(uninstall_quietly(player), "the uninstaller removes its entry");
    check_unchanged(player, before, "the player folder is as before the install");
}

// A refused install must leave no trace.
void refused(const std::string& name, const std::string& options, DWORD expected_exit,
             const std::string& expected_message, const std::string& player) {
    std::printf("case: %s\n", name.c_str());
    const Tree before = snapshot(player);
    const Run install = run(setup_command(options));
    check(install.exit_code == expected_exit,
          "exit code " + std::to_string(expected_exit) + ", got " + std::to_string(install.exit_code));
    check(install.errors.find(expected_message) != std::string::npos,
          "standard error says \"" + expected_message + "\", got: " + install.errors);
    check_unchanged(player, before, "the player folder is untouched");
    check(our_entries().empty(), "no uninstall entry");
}

// A window of the player's main window class: what the installer looks for.
HWND fake_running_player() {
    WNDCLASSA cls = {};
    cls.lpfnWndProc = DefWindowProcA;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "Winamp v1.x";
    RegisterClassA(&cls);
    return CreateWindowA(cls.lpszClassName, "Winamp", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                         cls.hInstance, nullptr);
}

void running_player_cases(const std::string& player) {
    HWND window = fake_running_player();
    if (!window) {
        std::printf("case: running player: NOT TESTED (no window: %lu)\n", GetLastError());
        ++g_failures;
        return;
    }
    refused("a running player stops the install", "", kExitPlayerRunning, "Winamp is running", player);
    DestroyWindow(window);

    std::printf("case: a running player stops the uninstall\n");
    check(run(setup_command("")).exit_code == 0, "installs while the player is closed");
    window = fake_running_player();
    const Run uninstall = uninstall_in_place(player);
    check(uninstall.exit_code == kExitPlayerRunning,
          "uninstaller exit code 4, got " + std::to_string(uninstall.exit_code));
    check(exists(player + "\\Plugins\\in_zorbin.dll"), "the DLL is still there");
    DestroyWindow(window);
    check(uninstall_quietly(player), "uninstalls once the player is closed");
    check(!exists(player + "\\Plugins\\in_zorbin.dll"), "then the DLL is gone");
}

// A file another program holds open for reading and shares only for
// reading: it can be neither replaced nor deleted, like a loaded DLL.
HANDLE hold_open(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

void failed_step_cases(const std::string& player, const std::string& full_dll) {
    const std::string plugins = player + "\\Plugins\\";
    // A fresh install that fails ends with its own code and takes back what
    // it had written (the DLL, when a paper fails).
    CreateDirectoryA((plugins + "in_zorbin.dll").c_str(), nullptr);
    refused("a folder where the DLL goes", "", kExitDll, "Could not write in_zorbin.dll", player);
    RemoveDirectoryA((plugins + "in_zorbin.dll").c_str());
    CreateDirectoryA((plugins + "in_zorbin").c_str(), nullptr);
    CreateDirectoryA((plugins + "in_zorbin\\cable.md").c_str(), nullptr);
    refused("a folder where a paper goes", "", kExitPapers, "Could not write cable.md", player);
    RemoveDirectoryA((plugins + "in_zorbin\\cable.md").c_str());
    RemoveDirectoryA((plugins + "in_zorbin").c_str());

    std::printf("case: a DLL another program holds open\n");
    const Tree before = snapshot(player);
    check(run(setup_command("")).exit_code == 0, "installs the full build");
    HANDLE held = hold_open(plugins + "in_zorbin.dll");
    const Run update = run(setup_command(" /BUILD=fixed"));
    check(update.exit_code == kExitDll, "setup exit code 6, got " + std::to_string(update.exit_code));
    check(update.errors.find("Could not write in_zorbin.dll") != std::string::npos,
          "standard error says why, got: " + update.errors);
    check(read_file(plugins + "in_zorbin.dll") == read_file(full_dll), "the installed build stays");
    const Run uninstall = uninstall_in_place(player);
    check(uninstall.exit_code == kExitDll, "uninstaller exit code 6, got " + std::to_string(uninstall.exit_code));
    check(!entry_of(player).empty() && exists(plugins + "in_zorbin\\uninstall.exe"),
          "a failed uninstall keeps its entry and uninstaller");
    CloseHandle(held);
    check(uninstall_quietly(player), "uninstalls once the DLL is free");
    check_unchanged(player, before, "the player folder is as before the install");
}

std::string driver_file() {
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\System32\\Drivers\\UserPort.sys";
}

// The driver the full build writes out: its resource.
std::string our_driver(const std::string& full_dll) {
    HMODULE dll = LoadLibraryExA(full_dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = dll ? FindResourceA(dll, "USERPORTSYS", "BIN") : nullptr;
    HGLOBAL loaded = found ? LoadResource(dll, found) : nullptr;
    const std::string bytes =
        loaded ? std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(dll, found)) : "";
    if (dll) FreeLibrary(dll);
    return bytes;
}

bool driver_service_exists() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, kDriverService, SERVICE_QUERY_STATUS) : nullptr;
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return service != nullptr;
}

// The driver's service and file as the full build registers them, with the
// given bytes ("": none), started if `start` (Wine loads our driver).
void set_up_driver(const std::string& bytes, bool start = false) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    if (SC_HANDLE old = OpenServiceA(manager, kDriverService, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS status = {};
        ControlService(old, SERVICE_CONTROL_STOP, &status);  // the prefix may have loaded it
        for (int i = 0; i < 50 && QueryServiceStatus(old, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
            Sleep(100);
        DeleteService(old);
        CloseServiceHandle(old);
        for (int i = 0; i < 50 && driver_service_exists(); ++i) Sleep(100);  // gone once unused
    }
    DeleteFileA(driver_file().c_str());
    if (!bytes.empty()) {
        write_file(driver_file(), bytes);
        SC_HANDLE service = CreateServiceA(manager, kDriverService, kDriverService, SERVICE_ALL_ACCESS,
                                           SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                           "\\SystemRoot\\System32\\Drivers\\UserPort.sys", nullptr, nullptr,
                                           nullptr, nullptr, nullptr);
        if (service && start) check(StartServiceA(service, 0, nullptr), "the driver starts");
        if (service) CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

void two_players_and_the_driver(const std::string& player, const std::string& other,
                                const std::string& full_dll) {
    std::printf("case: two player folders, each with its entry; the last uninstall takes our driver\n");
    const std::string ours = our_driver(full_dll);
    check(!ours.empty(), "the full build carries the driver");
    set_up_driver(ours, true);
    const Tree before = snapshot(player), other_before = snapshot(other);
    check(run(setup_command("")).exit_code == 0, "installs into the first folder");
    check(run(setup_command(" /D=" + other)).exit_code == 0, "installs into the second");
    check(!entry_of(player).empty() && !entry_of(other).empty() && entry_of(player) != entry_of(other),
          "each folder has an entry of its own");
    check(uninstall_quietly(other), "uninstalls the second");
    check(!entry_of(player).empty() && exists(player + "\\Plugins\\in_zorbin.dll"),
          "the first stays installed and listed");
    check(driver_service_exists() && read_file(driver_file()) == ours, "the driver stays while one is left");
    check(uninstall_quietly(player), "uninstalls the first");
    check(!driver_service_exists() && !exists(driver_file()), "the last uninstall removes our driver");
    check_unchanged(player, before, "the first folder is as before");
    check_unchanged(other, other_before, "the second folder is as before");

    std::printf("case: another program's driver of the same name stays\n");
    set_up_driver("MZ another port driver");
    check(run(setup_command("")).exit_code == 0, "installs");
    check(uninstall_quietly(player), "uninstalls");
    check(driver_service_exists() && read_file(driver_file()) == "MZ another port driver",
          "the driver is left alone");
    set_up_driver("");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: installer_test <release folder>\n");
        return 2;
    }
    const std::string release = argv[1];
    g_setup = release + "\\" ZORBIN_SETUP_NAME;
    const std::string full_dll = release + "\\full\\in_zorbin.dll", fixed_dll = release + "\\fixed\\in_zorbin.dll";

    char program_files[MAX_PATH] = "";
    GetEnvironmentVariableA("ProgramFiles", program_files, sizeof program_files);
    const std::string usual_folder = std::string(program_files) + "\\Winamp";
    if (reg_has_key(HKEY_LOCAL_MACHINE, kPlayerEntry) || exists(usual_folder) || read_file(full_dll).empty()) {
        std::printf("installer_test: needs a prefix without a real player and the built DLLs\n");
        return 2;
    }
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    g_work = std::string(temp) + "zorbin setup test";  // a blank, as in "Program Files"
    remove_tree(g_work);
    CreateDirectoryA(g_work.c_str(), nullptr);
    for (const auto& entry : our_entries())  // left by an interrupted run
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, entry.second.c_str());
    const std::string saved_player_key = reg_text(HKEY_CURRENT_USER, kPlayerKey, nullptr);

    const std::string player = make_player(g_work + "\\Winamp");
    const std::string other_player = make_player(g_work + "\\Other Winamp");

    point_player_key_at(player);
    install_and_uninstall("the player key's folder gets the full build by default", player, "", full_dll);
    const Tree player_before = snapshot(player);
    install_and_uninstall("/BUILD=fixed with /D= overrides the player key", other_player,
                          " /BUILD=fixed /D=" + other_player, fixed_dll);
    check_unchanged(player, player_before, "the player key's folder was left alone");

    point_player_key_at("");
    reg_set_text(HKEY_LOCAL_MACHINE, kPlayerEntry, "UninstallString", "\"" + player + "\\UninstWA.exe\"");
    install_and_uninstall("without the key, the player's uninstall entry", player, "", full_dll);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPlayerEntry.c_str());
    make_player(usual_folder);
    install_and_uninstall("without either record, Program Files\\Winamp", usual_folder, " /BUILD=full",
                          full_dll);
    remove_tree(usual_folder);

    refused("no player anywhere", "", kExitNoPlayer, "Winamp not found", player);
    const std::string no_player = g_work + "\\Empty";
    CreateDirectoryA(no_player.c_str(), nullptr);
    refused("/D= a folder without winamp.exe", " /D=" + no_player, kExitNoPlayer, "no winamp.exe in", no_player);
    point_player_key_at(player);
    refused("an unknown build", " /BUILD=fast", kExitBadOption, "unknown build", player);

    running_player_cases(player);
    failed_step_cases(player, full_dll);
    two_players_and_the_driver(player, other_player, full_dll);

    point_player_key_at(saved_player_key);
    remove_tree(g_work);
    std::printf("installer_test: %s (%d failure(s))\n", g_failures ? "FAILED" : "passed", g_failures);
    return g_failures ? 1 : 0;
}
