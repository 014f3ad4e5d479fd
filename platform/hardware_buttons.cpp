// The phone's hardware buttons: a press starts the command the button registry assigns
// to the button, as the phone's shell does. A command is a program path, quoted when it
// holds blanks, followed by its arguments ("\"\Program Files\ORVEN\ORVEN.exe\" -a"). A
// program named "ORVEN.exe" is this program itself: it is started anew with the
// arguments and, finding this process running, hands its request over through the
// single-instance endpoint. A shortcut (".lnk", "<length>#<command>") starts its
// command; the emulated installation provides "ORVEN.lnk" in the program's folder as
// "\"<folder>ORVEN.exe\" -a". Any other program is started by its Linux path when it
// exists. Relies on the registry, the phone's paths and posix_spawn.
#include "platform/hardware_buttons.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "platform/internal.h"
#include "platform/registry.h"
#include "platform/text.h"

extern char** environ;

namespace {

using namespace orven;

constexpr int maxShortcutDepth = 4;  // a shortcut to a shortcut ... ends here

std::mutex launchLock;
std::vector<shell::ButtonLaunch> launches;  // guarded by launchLock
std::string programOverride;                // guarded by launchLock

std::u16string trim(std::u16string text) {
    size_t start = text.find_first_not_of(u' ');
    size_t end = text.find_last_not_of(u' ');
    return start == std::u16string::npos ? u"" : text.substr(start, end - start + 1);
}

bool endsWithIgnoringCase(const std::u16string& text, std::u16string_view suffix) {
    if (text.size() < suffix.size()) return false;
    return lstrcmpiW(text.substr(text.size() - suffix.size()).c_str(),
                     std::u16string(suffix).c_str()) == 0;
}

// Splits a command into the program and the rest.
void splitCommand(const std::u16string& command, std::u16string& program,
                  std::u16string& arguments) {
    std::u16string text = trim(command);
    size_t end;
    if (!text.empty() && text[0] == u'"') {
        end = text.find(u'"', 1);
        program = text.substr(1, end == std::u16string::npos ? std::u16string::npos : end - 1);
        end = end == std::u16string::npos ? text.size() : end + 1;
    } else {
        end = text.find(u' ');
        if (end == std::u16string::npos) end = text.size();
        program = text.substr(0, end);
    }
    arguments = trim(text.substr(end));
}

std::u16string fileNameOf(const std::u16string& path) {
    size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::string programExecutable() {
    {
        std::lock_guard<std::mutex> hold(launchLock);
        if (!programOverride.empty()) return programOverride;
    }
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

// A shortcut's command: "<length>#<command>", or nothing when it cannot be read.
bool readShortcut(const std::u16string& path, std::u16string& command) {
    std::ifstream in(linuxPath(path));
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    std::u16string content = fromUtf8(text.str());
    size_t hash = content.find(u'#');
    command = trim(hash == std::u16string::npos ? content : content.substr(hash + 1));
    while (!command.empty() && (command.back() == u'\n' || command.back() == u'\r'))
        command.pop_back();
    return true;
}

// The executable that runs `program`, with the arguments it gets; "" when none.
std::string resolve(std::u16string program, std::u16string& arguments, int depth) {
    std::u16string name = fileNameOf(program);
    if (lstrcmpiW(name.c_str(), u"ORVEN.exe") == 0) return programExecutable();
    if (endsWithIgnoringCase(program, u".lnk")) {
        std::u16string command;
        if (!readShortcut(program, command)) {
            if (lstrcmpiW(name.c_str(), u"ORVEN.lnk") != 0) return {};
            command = u"\"ORVEN.exe\" -a";  // the emulated installation's shortcut
        }
        if (depth >= maxShortcutDepth) return {};
        std::u16string target, own;
        splitCommand(command, target, own);
        arguments = trim(own + u" " + arguments);
        return resolve(target, arguments, depth + 1);
    }
    std::string path = linuxPath(program);
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

// Arguments split at blanks, quotes grouping.
std::vector<std::string> splitArguments(const std::u16string& arguments) {
    std::vector<std::string> result;
    std::u16string current;
    bool quoted = false, any = false;
    for (char16_t c : arguments) {
        if (c == u'"') {
            quoted = !quoted;
            any = true;
        } else if (c == u' ' && !quoted) {
            if (any) result.push_back(toUtf8(current));
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) result.push_back(toUtf8(current));
    return result;
}

bool spawn(const std::string& executable, const std::u16string& arguments) {
    std::vector<std::string> words = splitArguments(arguments);
    std::vector<char*> argv{const_cast<char*>(executable.c_str())};
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, executable.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    // Reap the child whenever it ends, so that it does not linger as a zombie.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}

// The registered command of button n, or "" when none is.
std::u16string registeredCommand(int n) {
    HKEY key;
    std::u16string valueName;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\HOLBE\\KeyPref", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        if (n > 2) {
            RegCloseKey(key);
            return {};
        }
        valueName = n == 1 ? u"SBS" : u"SBL";
    } else {
        WCHAR path[64];
        wsprintfW(path, u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C%d", n);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    }
    WCHAR command[MAX_PATH * 2] = {};
    DWORD size = sizeof(command) - sizeof(WCHAR), type = 0;
    LONG result = RegQueryValueExW(key, valueName.empty() ? nullptr : valueName.c_str(), nullptr,
                                   &type, reinterpret_cast<LPBYTE>(command), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::u16string(command) : std::u16string();
}

}  // namespace

namespace orven::shell {

bool pressHardwareButton(int n) {
    std::u16string command = registeredCommand(n);
    if (command.empty()) {
        internal::trace("hardware button %d: nothing assigned", n);
        return false;
    }
    std::u16string program, arguments;
    splitCommand(command, program, arguments);
    std::string executable = resolve(program, arguments, 0);
    bool started = !executable.empty() && spawn(executable, arguments);
    internal::trace("hardware button %d: %s %s -> %s", n, toUtf8(command).c_str(),
                    started ? "started" : "not started", executable.c_str());
    if (!started)
        std::fprintf(stderr, "orven: hardware button %d: cannot start %s\n", n,
                     toUtf8(command).c_str());
    std::lock_guard<std::mutex> hold(launchLock);
    launches.push_back(ButtonLaunch{command, started ? executable : std::string(), arguments});
    return started;
}

std::vector<ButtonLaunch> buttonLaunches() {
    std::lock_guard<std::mutex> hold(launchLock);
    return launches;
}

void setProgramExecutable(const std::string& path) {
    std::lock_guard<std::mutex> hold(launchLock);
    programOverride = path;
}

}  // namespace orven::shell
