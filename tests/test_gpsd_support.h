// A private gpsd fed a recorded NMEA log by gpsd's own gpsfake, started and stopped by
// the test: its own TCP port (never 2947, so a system gpsd is never touched and tests
// run in parallel), its own process group (stopping it ends gpsfake and the gpsd it
// started, nothing else) and its own temporary directory for gpsfake's control socket.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace gpsdtest {

constexpr char gpsfakePath[] = "/usr/bin/gpsfake";  // Debian's gpsd-clients
constexpr char gpsdPath[] = "/usr/sbin/gpsd";       // Debian's gpsd, which gpsfake runs
constexpr int listeningWaitMs = 20000;              // gpsfake starts gpsd in about a second
constexpr int stopWaitMs = 5000;                    // then the group is killed outright

inline bool gpsfakeInstalled() {
    return access(gpsfakePath, X_OK) == 0 && access(gpsdPath, X_OK) == 0;
}

// A TCP port on the loopback interface that nothing listens on right now.
inline int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

inline bool accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

// gpsfake replaying `log` over and over, a sentence every `cycle` seconds.
class GpsFake {
  public:
    explicit GpsFake(const std::string& log, const char* cycle = "0.05") : port_(freePort()) {
        char directory[] = "/tmp/ogf-XXXXXX";
        if (mkdtemp(directory) == nullptr) return;
        directory_ = directory;
        const std::string portText = std::to_string(port_);
        std::vector<std::string> args = {"gpsfake", "-q", "-P", portText, "-c", cycle, log};
        std::vector<std::string> env = {"TMPDIR=" + directory_};
        for (char** variable = environ; *variable != nullptr; ++variable)
            if (std::string(*variable).rfind("TMPDIR=", 0) != 0) env.emplace_back(*variable);
        std::vector<char*> argv, envp;
        for (auto& arg : args) argv.push_back(arg.data());
        for (auto& entry : env) envp.push_back(entry.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        // gpsd complains on stderr that there is no D-Bus; the test reads the socket.
        posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, gpsfakePath, &files, &attributes, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
    }
    ~GpsFake() { stop(); }
    GpsFake(const GpsFake&) = delete;
    GpsFake& operator=(const GpsFake&) = delete;

    // What a COM port's listing names to read this gpsd.
    std::string address() const { return "gpsd://127.0.0.1:" + std::to_string(port_); }

    // Waits (real time, bounded) until gpsd takes connections.
    bool listening() const {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(listeningWaitMs);
        while (pid_ > 0 && port_ > 0 && std::chrono::steady_clock::now() < deadline) {
            if (accepts(port_)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Ends gpsfake and its gpsd: their process group is asked to end, then killed if it
    // has not within stopWaitMs (gpsfake alone, on SIGTERM, may leave gpsd running).
    void stop() {
        if (pid_ > 0) {
            kill(-pid_, SIGTERM);
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(stopWaitMs);
            while (waitpid(pid_, nullptr, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    kill(-pid_, SIGKILL);
                    waitpid(pid_, nullptr, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            // gpsd is gpsfake's child: make sure none of the group outlives the test.
            for (int i = 0; i < stopWaitMs / 10 && kill(-pid_, 0) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            kill(-pid_, SIGKILL);
            pid_ = -1;
        }
        if (!directory_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(directory_, ignored);
            directory_.clear();
        }
    }

  private:
    int port_;
    pid_t pid_ = -1;
    std::string directory_;
};

}  // namespace gpsdtest
