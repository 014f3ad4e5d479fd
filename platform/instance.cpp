// The single-instance endpoint (see instance.h): a lock file decides which process is
// the instance; a Unix socket carries the requests of later starts to it.
//
// Requests are one line each, fields separated by tabs, text in UTF-8:
//   FIND <class> <title>          -> FOUND <window> | NONE | WAIT (still starting)
//   FOREGROUND <window>           -> OK | NONE
//   TIMER <window> <id> <ms>      -> OK | NONE
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "platform/device.h"
#include "platform/instance.h"
#include "platform/internal.h"
#include "platform/text.h"
#include "platform/window_manager.h"

namespace {

using namespace orven;

constexpr auto askDeadline = std::chrono::seconds(5);  // a starting instance answers by then
constexpr auto retryPause = std::chrono::milliseconds(20);
constexpr int ioTimeoutMs = 2000;  // one request's read or write

std::mutex stateLock;
int lockFd = -1;
bool isInstance = false;

// A private directory for the endpoint: $XDG_RUNTIME_DIR/orven, else /tmp/orven-<uid>.
// It must be a real directory owned by us with mode 0700; anything else is refused.
std::string runtimeDirectory() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && *xdg == '/')
        base = std::string(xdg) + "/orven";
    else
        base = "/tmp/orven-" + std::to_string(getuid());
    mkdir(base.c_str(), 0700);
    struct stat st;
    if (lstat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 0077) != 0) {
        std::fprintf(stderr, "orven: %s is not a private directory; single-instance check off\n",
                     base.c_str());
        return {};
    }
    return base;
}

// Endpoint names: one per device directory (FNV-1a of its path).
std::string endpointBase() {
    static const std::string base = [] {
        std::string dir = runtimeDirectory();
        if (dir.empty()) return std::string{};
        uint64_t hash = 1469598103934665603ull;
        for (unsigned char c : deviceDirectory()) hash = (hash ^ c) * 1099511628211ull;
        char name[40];
        std::snprintf(name, sizeof name, "/i%016llx", static_cast<unsigned long long>(hash));
        return dir + name;
    }();
    return base;
}

sockaddr_un socketAddress(bool& ok) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = endpointBase() + ".sock";
    ok = path.size() < sizeof addr.sun_path;
    if (ok) std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return addr;
}

void setTimeouts(int fd) {
    timeval tv{ioTimeoutMs / 1000, (ioTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool writeLine(int fd, const std::string& line) {
    std::string data = line + "\n";
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool readLine(int fd, std::string& line) {
    line.clear();
    char c;
    while (line.size() < 4096) {
        ssize_t n = recv(fd, &c, 1, 0);
        if (n <= 0) return false;
        if (c == '\n') return true;
        line += c;
    }
    return false;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

HWND localWindow(const std::string& value) {
    return reinterpret_cast<HWND>(
        static_cast<uintptr_t>(std::strtoull(value.c_str(), nullptr, 10)));
}

std::string answer(const std::vector<std::string>& request) {
    if (request.size() == 3 && request[0] == "FIND") {
        std::u16string cls = fromUtf8(request[1]), title = fromUtf8(request[2]);
        HWND found = wm::findLocalTopLevel(cls.c_str(), title.c_str());
        if (found != nullptr) return "FOUND\t" + std::to_string(reinterpret_cast<uintptr_t>(found));
        return wm::loopStarted() ? "NONE" : "WAIT";
    }
    if (request.size() == 2 && request[0] == "FOREGROUND") {
        internal::trace("instance: foreground requested");
        return SetForegroundWindow(localWindow(request[1])) ? "OK" : "NONE";
    }
    if (request.size() == 4 && request[0] == "TIMER") {
        internal::trace("instance: timer %s requested", request[2].c_str());
        UINT_PTR id = std::strtoul(request[2].c_str(), nullptr, 10);
        UINT ms = static_cast<UINT>(std::strtoul(request[3].c_str(), nullptr, 10));
        return SetTimer(localWindow(request[1]), id, ms, nullptr) ? "OK" : "NONE";
    }
    return "ERROR";
}

void serve(int listenFd) {
    for (;;) {
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == getuid()) {
            setTimeouts(fd);
            std::string line;
            if (readLine(fd, line)) writeLine(fd, answer(splitTabs(line)));
        }
        close(fd);
    }
}

// The endpoint's thread answers until the process exits; it is stopped and joined
// before the layer's static objects (the loop's lock and condition) are destroyed, so a
// request answered during exit never touches a destroyed object.
std::thread server;
int serverFd = -1;

void stopServing() {
    if (serverFd >= 0) shutdown(serverFd, SHUT_RDWR);  // accept() returns at once
    if (server.joinable()) server.join();
}

// Caller holds stateLock.
void startServing(int listenFd) {
    serverFd = listenFd;
    server = std::thread(serve, listenFd);
    std::atexit(stopServing);  // runs before the destructors of earlier statics
}

// Caller holds stateLock.
void (*becomingHook)() = nullptr;

void runBecomingHook() {
    if (void (*hook)() = std::exchange(becomingHook, nullptr)) hook();
}

bool tryBecomeInstanceLocked() {
    if (isInstance) return true;
    std::string base = endpointBase();
    if (base.empty()) {
        isInstance = true;  // no private directory: run on our own
        runBecomingHook();
        return true;
    }
    if (lockFd < 0) lockFd = open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0 || flock(lockFd, LOCK_EX | LOCK_NB) != 0) return false;
    isInstance = true;
    bool ok;
    sockaddr_un addr = socketAddress(ok);
    int listenFd = ok ? socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    if (listenFd >= 0) {
        unlink(addr.sun_path);  // a crashed instance's socket; safe while we hold the lock
        if (bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            listen(listenFd, 16) == 0) {
            startServing(listenFd);
        } else {
            std::fprintf(stderr, "orven: cannot listen on %s: %s\n", addr.sun_path,
                         std::strerror(errno));
            close(listenFd);
        }
    }
    runBecomingHook();
    return true;
}

// One request to the instance; empty when it could not be reached.
std::string ask(const std::string& request) {
    bool ok;
    sockaddr_un addr = socketAddress(ok);
    if (!ok) return {};
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    setTimeouts(fd);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        !writeLine(fd, request) || !readLine(fd, reply))
        reply.clear();
    close(fd);
    return reply;
}

std::string remoteId(HWND remote) {
    return std::to_string(reinterpret_cast<uintptr_t>(remote) & ~wm::remoteTag);
}

}  // namespace

namespace orven::instance {

void onBecomingInstance(void (*hook)()) {
    std::lock_guard<std::mutex> hold(stateLock);
    becomingHook = hook;
}

void becomeInstanceIfFree() {
    std::lock_guard<std::mutex> hold(stateLock);
    tryBecomeInstanceLocked();
}

HWND findRemote(LPCWSTR className, LPCWSTR windowName) {
    std::string request = "FIND\t" + toUtf8(className ? className : u"") + "\t" +
                          toUtf8(windowName ? windowName : u"");
    auto deadline = std::chrono::steady_clock::now() + askDeadline;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> hold(stateLock);
            if (tryBecomeInstanceLocked()) return nullptr;
        }
        std::string reply = ask(request);
        std::vector<std::string> fields = splitTabs(reply);
        if (fields.size() == 2 && fields[0] == "FOUND") {
            uintptr_t id = std::strtoull(fields[1].c_str(), nullptr, 10);
            return reinterpret_cast<HWND>(id | wm::remoteTag);
        }
        if (reply == "NONE") return nullptr;
        std::this_thread::sleep_for(retryPause);  // WAIT, or the instance is not listening yet
    }
    std::fprintf(stderr, "orven: the running instance did not answer\n");
    return nullptr;
}

bool requestForeground(HWND remote) {
    return ask("FOREGROUND\t" + remoteId(remote)) == "OK";
}

bool requestTimer(HWND remote, UINT_PTR id, UINT elapseMs) {
    return ask("TIMER\t" + remoteId(remote) + "\t" + std::to_string(id) + "\t" +
               std::to_string(elapseMs)) == "OK";
}

}  // namespace orven::instance
