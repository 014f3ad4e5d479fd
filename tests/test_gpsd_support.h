// A private gpsd fed a recorded NMEA log by gpsd's own gpsfake, started and stopped by
// the test: its own TCP port (never 2947, so a system gpsd is never touched and tests
// run in parallel), its own process group (stopping it ends gpsfake and the gpsd it
// started, nothing else) and its own temporary directory for gpsfake's control socket.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace gpsdtest {

inline bool gpsfakeInstalled() {
    return access("/usr/bin/gpsfake", X_OK) == 0 && access("/usr/sbin/gpsd", X_OK) == 0;
}

// Binds (port 0: any free one, whose number is returned) or connects to 127.0.0.1:port;
// 0 when that failed.
inline int loopback(int port, bool bindIt) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(uint16_t(port)), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    const bool done = bindIt ? bind(fd, raw, size) == 0 && getsockname(fd, raw, &size) == 0
                             : connect(fd, raw, size) == 0;
    close(fd);
    return done ? ntohs(address.sin_port) : 0;
}

// gpsfake replaying `log` over and over, a sentence every 50 ms.
class GpsFake {
  public:
    explicit GpsFake(const std::string& log) : port_(loopback(0, true)) {
        char directory[] = "/tmp/ogf-XXXXXX";
        if (mkdtemp(directory) != nullptr) directory_ = directory;
        std::vector<std::string> args = {"gpsfake", "-q",   "-P", std::to_string(port_),
                                         "-c",      "0.05", log};
        std::vector<std::string> env = {"TMPDIR=" + directory_, "PATH=/usr/bin:/bin:/usr/sbin"};
        std::vector<char*> argv, envp;
        for (auto& arg : args) argv.push_back(arg.data());
        for (auto& entry : env) envp.push_back(entry.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawnattr_t group;
        posix_spawnattr_init(&group);
        posix_spawnattr_setflags(&group, POSIX_SPAWN_SETPGROUP);
        posix_spawn_file_actions_t quiet;  // gpsd complains on stderr that there is no D-Bus
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, "/usr/bin/gpsfake", &quiet, &group, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&quiet);
        posix_spawnattr_destroy(&group);
    }
    ~GpsFake() { stop(); }

    // What a COM port's listing names to read this gpsd.
    std::string address() const { return "gpsd://127.0.0.1:" + std::to_string(port_); }

    // Waits (real time, at most 20 s) until gpsd takes connections.
    bool listening() const {
        for (int tries = 0; pid_ > 0 && tries < 1000; ++tries) {
            if (loopback(port_, false) != 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Ends gpsfake and its gpsd at once (gpsfake alone, on SIGTERM, leaves gpsd running).
    void stop() {
        if (pid_ > 0) kill(-pid_, SIGKILL), waitpid(pid_, nullptr, 0), pid_ = -1;
        std::error_code ignored;
        if (!directory_.empty()) std::filesystem::remove_all(directory_, ignored);
        directory_.clear();
    }

  private:
    int port_;
    pid_t pid_ = -1;
    std::string directory_;
};

}  // namespace gpsdtest
