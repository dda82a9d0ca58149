// Runs the real installer as users and the system's program list do, against
// fake player folders in the Wine prefix: silent installs of either build,
// the uninstaller started from its registry entry, and the refusals.
//
// installer_test <release folder>   (dist\: the installer and both DLLs)
//
// Needs a display (a hidden top-level window plays the running player). It
// touches only its own folders under %TEMP% and the registry values the
// installer reads or writes, and puts the player key's value back at the end.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "zorbin_release.h"

namespace {

const char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kOurEntry = std::string(kUninstallRoot) + "in_zorbin";
const std::string kPlayerEntry = std::string(kUninstallRoot) + "Winamp";
const char kPlayerKey[] = "Software\\Winamp";

enum { kExitNoPlayer = 3, kExitPlayerRunning = 4, kExitBadOption = 5 };

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

// The uninstaller copies itself away and returns at once; the copy deletes
// our entry last, so the entry's going means it has finished.
bool uninstall_quietly() {
    const std::string command = reg_text(HKEY_LOCAL_MACHINE, kOurEntry, "QuietUninstallString");
    if (command.empty()) return false;
    run(command);
    for (int i = 0; i < 300 && reg_has_key(HKEY_LOCAL_MACHINE, kOurEntry); ++i) Sleep(100);
    return !reg_has_key(HKEY_LOCAL_MACHINE, kOurEntry);
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
    const auto entry = [](const char* value) { return reg_text(HKEY_LOCAL_MACHINE, kOurEntry, value); };
    check(entry("UninstallString") == uninstaller, "UninstallString");
    check(entry("QuietUninstallString") == uninstaller + " /S", "QuietUninstallString");
    check(entry("DisplayVersion") == ZORBIN_VERSION_TEXT, "DisplayVersion");
    check(entry("DisplayName").find("in_zorbin") == 0, "DisplayName");
    check(!entry("Publisher").empty(), "Publisher");

    check(uninstall_quietly(), "the uninstaller removes its entry");
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
    check(!reg_has_key(HKEY_LOCAL_MACHINE, kOurEntry), "no uninstall entry");
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
    const std::string folder = player + "\\Plugins\\in_zorbin";
    // _?= keeps the uninstaller in place, so its own exit code comes back.
    const Run uninstall = run("\"" + folder + "\\uninstall.exe\" /S _?=" + folder);
    check(uninstall.exit_code == kExitPlayerRunning,
          "uninstaller exit code 4, got " + std::to_string(uninstall.exit_code));
    check(exists(player + "\\Plugins\\in_zorbin.dll"), "the DLL is still there");
    DestroyWindow(window);
    check(uninstall_quietly(), "uninstalls once the player is closed");
    check(!exists(player + "\\Plugins\\in_zorbin.dll"), "then the DLL is gone");
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
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOurEntry.c_str());  // left by an interrupted run
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

    point_player_key_at(saved_player_key);
    remove_tree(g_work);
    std::printf("installer_test: %s (%d failure(s))\n", g_failures ? "FAILED" : "passed", g_failures);
    return g_failures ? 1 : 0;
}
