// Real processes of the program (the `orven` executable), headless, on an emulated phone
// of their own: a temporary directory holding the device directory ("device"), the
// runtime directory ("run") and the trace files. Every process a test started is killed
// at the end.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace programtest {

using namespace std::chrono_literals;

class Programs : public ::testing::Test {
  protected:
    std::string dir;
    std::vector<pid_t> running;

    void SetUp() override {
        char pattern[] = "/tmp/oi-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        mkdir((dir + "/run").c_str(), 0700);
    }

    void TearDown() override {
        for (pid_t pid : running) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string deviceDir() const { return dir + "/device"; }

    // The environment of a program started here: headless, silent, without a transcript,
    // tracing to the file `trace` in the test's directory.
    std::vector<std::string> environment(const std::string& trace) const {
        return {"ORVEN_DEVICE=" + deviceDir(),
                "XDG_RUNTIME_DIR=" + dir + "/run",
                "ORVEN_DISPLAY=headless",
                "SDL_AUDIODRIVER=dummy",
                "ORVEN_TRACE=" + dir + "/" + trace,
                "PATH=/usr/bin:/bin",
                "ORVEN_TRANSCRIPT=off"};
    }

    // Starts orven with one argument (none when empty), headless, tracing to trace.
    pid_t start(const std::string& argument, const std::string& trace) {
        return spawn(argument, environment(trace));
    }

    // Starts orven with one argument (none when empty) in the environment `env`; its
    // stdout goes to the file `output` in the test's directory when one is named.
    pid_t spawn(const std::string& argument, std::vector<std::string> env,
                const std::string& output = "") {
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string binary = ORVEN_BINARY;
        std::string arg = argument;
        std::vector<char*> argv = {binary.data()};
        if (!argument.empty()) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!output.empty())
            posix_spawn_file_actions_addopen(&actions, 1, (dir + "/" + output).c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), envp.data()),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        running.push_back(pid);
        return pid;
    }

    // The exit code, or nothing if the process still runs after `limit`.
    std::optional<int> waitExit(pid_t pid, std::chrono::milliseconds limit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(running, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(5ms);
        }
    }

    // A file's whole content; empty when it does not exist.
    static std::string fileText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string traceOf(const std::string& trace) const { return fileText(dir + "/" + trace); }

    bool waitForTrace(const std::string& trace, const std::string& needle,
                      std::chrono::milliseconds limit = 5000ms) const {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (traceOf(trace).find(needle) != std::string::npos) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
};

}  // namespace programtest
