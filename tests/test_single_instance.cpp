// Single instance across real processes: a second start of `orven` reaches the running
// one (foreground, cue 1, timer 1111 for an alert request) and ends; concurrent starts
// leave exactly one instance; a crashed instance's endpoint does not block a new one;
// SIGTERM ends the program in its orderly way.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "test_program_support.h"

namespace {

using namespace std::chrono_literals;

size_t countOf(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

// Real processes of the program on one emulated phone (programtest::Programs).
class Instances : public programtest::Programs {
  protected:
    pid_t startFirstInstance() {
        pid_t first = start("", "first.trace");
        EXPECT_TRUE(waitForTrace("first.trace", "message loop waiting"));
        return first;
    }
};

TEST_F(Instances, SecondStartBringsTheFirstForwardAndAsksForAnAlertOnlyWithLowerCaseA) {
    struct Row {
        const char* legend;
        std::string argument;
        bool asksForAlert;
    } rows[] = {
        {"hardware button", "-a", true},
        {"no arguments", "", false},
        {"only an upper-case A", "A", false},
        {"any lower-case a counts", "--panic", true},
    };
    startFirstInstance();
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        std::string trace = "second" + std::to_string(n++) + ".trace";
        std::string before = traceOf("first.trace");
        pid_t second = start(row.argument, trace);
        EXPECT_EQ(waitExit(second, 10000ms), std::optional<int>(0));
        std::string secondTrace = traceOf(trace);
        EXPECT_NE(secondTrace.find("sounds/1.wav"), std::string::npos) << secondTrace;
        EXPECT_EQ(secondTrace.find("CreateWindow"), std::string::npos) << secondTrace;

        std::string after = traceOf("first.trace");
        EXPECT_EQ(countOf(after, "foreground requested"),
                  countOf(before, "foreground requested") + 1)
            << after;
        EXPECT_EQ(countOf(after, "id=1111 ms=1000"),
                  countOf(before, "id=1111 ms=1000") + (row.asksForAlert ? 1 : 0))
            << after;
    }
}

TEST_F(Instances, ConcurrentStartsLeaveExactlyOneInstance) {
    std::vector<pid_t> starts;
    for (int i = 0; i < 4; ++i) starts.push_back(start("", "start" + std::to_string(i) + ".trace"));
    int exited = 0;
    std::vector<bool> done(starts.size(), false);
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (exited < 3 && std::chrono::steady_clock::now() < deadline)
        for (size_t i = 0; i < starts.size(); ++i)
            if (!done[i])
                if (std::optional<int> code = waitExit(starts[i], 5ms)) {
                    EXPECT_EQ(*code, 0);
                    done[i] = true;
                    ++exited;
                }
    pid_t survivor = 0;
    for (size_t i = 0; i < starts.size(); ++i)
        if (!done[i]) survivor = starts[i];
    EXPECT_FALSE(waitExit(survivor, 300ms).has_value());
    EXPECT_EQ(exited, 3);
    ASSERT_NE(survivor, 0);
    // Every loser reached the survivor.
    int survivorIndex = 0;
    for (int i = 0; i < 4; ++i)
        if (starts[i] == survivor) survivorIndex = i;
    std::string trace = traceOf("start" + std::to_string(survivorIndex) + ".trace");
    EXPECT_EQ(countOf(trace, "foreground requested"), 3u) << trace;
}

TEST_F(Instances, ACrashedInstanceDoesNotBlockTheNextStart) {
    pid_t first = startFirstInstance();
    kill(first, SIGKILL);
    EXPECT_TRUE(waitExit(first, 5000ms).has_value());
    pid_t next = start("", "next.trace");
    EXPECT_TRUE(waitForTrace("next.trace", "message loop waiting"));
    EXPECT_FALSE(waitExit(next, 200ms).has_value());
    pid_t third = start("-a", "third.trace");
    EXPECT_EQ(waitExit(third, 10000ms), std::optional<int>(0));
    EXPECT_TRUE(waitForTrace("next.trace", "id=1111 ms=1000"));
}

TEST_F(Instances, TermSignalEndsTheProgramInItsOrderlyWay) {
    pid_t first = startFirstInstance();
    kill(first, SIGTERM);
    EXPECT_EQ(waitExit(first, 10000ms), std::optional<int>(0));
    std::string trace = traceOf("first.trace");
    size_t cue = trace.find("sounds/111.wav");
    size_t destroyed = trace.find("DestroyWindow");
    EXPECT_NE(cue, std::string::npos) << trace;
    EXPECT_NE(destroyed, std::string::npos) << trace;
}

}  // namespace
