// A private D-Bus with the stand-in ModemManager and callaudiod of
// tests/fake_modemmanager.py, for the tests of the ModemManager backend. The bus is a
// dbus-daemon of the test's own (tests/data/dbus/private-bus.conf); the system and
// session bus addresses of this process name it, so the real libmm-glib and libcallaudio
// in the platform talk to the stand-ins. Everything started is stopped at the end.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace mmtest {

class FakeModemManager {
  public:
    // `services`: start the stand-ins (else only the bus: ModemManager is not running).
    explicit FakeModemManager(bool services = true, const std::string& option = "") {
        std::string command = std::string("dbus-daemon --config-file=") + ORVEN_SOURCE_DIR +
                              "/tests/data/dbus/private-bus.conf --fork --print-address=1 "
                              "--print-pid=1";
        if (FILE* out = popen(command.c_str(), "r")) {
            char line[512] = {};
            if (std::fgets(line, sizeof line, out)) address_ = trimmed(line);
            if (std::fgets(line, sizeof line, out)) busPid_ = std::atoi(line);
            pclose(out);
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        if (services) startService(option);
    }
    ~FakeModemManager() {
        if (pid_ > 0) {
            ::close(toFake_);  // the stand-in ends at the end of its input
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (waitpid(pid_, nullptr, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() >= deadline) {
                    kill(pid_, SIGKILL);
                    waitpid(pid_, nullptr, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        if (reader_.joinable()) reader_.join();
        if (busPid_ > 0) kill(busPid_, SIGTERM);
    }
    FakeModemManager(const FakeModemManager&) = delete;
    FakeModemManager& operator=(const FakeModemManager&) = delete;

    bool ready() const { return !address_.empty() && (pid_ < 0 || readyAtStart_); }

    // Sends one command and waits until the stand-in has carried it out.
    bool command(const std::string& line) {
        std::string text = line + "\n";
        if (write(toFake_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return false;
        return waitForLine("done " + line.substr(0, line.find(' ')));
    }

    // Waits (real time, bounded) for an event line starting with `prefix` and takes the
    // oldest such line not yet taken; returns whether it came. Other lines stay, so that
    // two threads may wait for lines of their own.
    bool waitForLine(const std::string& prefix, int timeoutMs = 5000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                for (size_t i = 0; i < lines_.size(); ++i) {
                    if (lines_[i].rfind(prefix, 0) != 0) continue;
                    lines_.erase(lines_.begin() + static_cast<long>(i));
                    return true;
                }
            }
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // Every event line so far (taken or not).
    std::vector<std::string> history() {
        std::lock_guard<std::mutex> hold(lock_);
        return history_;
    }

    // Starts the stand-ins on the bus (`option`: "--no-callaudio" leaves callaudiod out).
    void startService(const std::string& option = "") {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::string script = std::string(ORVEN_SOURCE_DIR) + "/tests/fake_modemmanager.py";
        std::vector<char*> argv = {const_cast<char*>("/usr/bin/python3"), script.data()};
        std::string opt = option;
        if (!opt.empty()) argv.push_back(opt.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toFake_ = in[1];
        int fromFake = out[0];
        reader_ = std::thread([this, fromFake] {
            FILE* stream = fdopen(fromFake, "r");
            char line[4096];
            while (stream != nullptr && std::fgets(line, sizeof line, stream)) {
                std::lock_guard<std::mutex> hold(lock_);
                lines_.push_back(trimmed(line));
                history_.push_back(lines_.back());
            }
            if (stream != nullptr) fclose(stream);
        });
        readyAtStart_ = waitForLine("ready", 10000);
    }

  private:
    static std::string trimmed(std::string s) {
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        return s;
    }

    std::string address_;
    pid_t busPid_ = -1;
    pid_t pid_ = -1;
    int toFake_ = -1;
    bool readyAtStart_ = false;
    std::thread reader_;
    std::mutex lock_;
    std::vector<std::string> lines_;    // not yet taken by waitForLine
    std::vector<std::string> history_;  // all of them
};

// The device registry that chooses ModemManager's modem, and its GPS as COM`gpsPort`.
inline std::string modemManagerHive(int gpsPort = -1, const std::string& settings = "") {
    std::string hive = "Windows Registry Editor Version 5.00\r\n\r\n";
    if (!settings.empty())
        hive += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZURV\\ORVEN]\r\n" + settings + "\r\n";
    if (gpsPort >= 0)
        hive += "[HKEY_LOCAL_MACHINE\\Drivers\\Ports]\r\n\"COM" + std::to_string(gpsPort) +
                ":\"=\"modemmanager:\"\r\n\r\n";
    hive += "[HKEY_LOCAL_MACHINE\\Drivers\\Modem]\r\n\"Port\"=\"modemmanager:\"\r\n";
    return hive;
}

// An NMEA sentence with its checksum: body is what stands between "$" and "*".
inline std::string nmea(const std::string& body) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return "$" + body + tail;
}

}  // namespace mmtest
