// The modem's lines, apart from any I/O: the bytes read split into lines and the SMS
// prompt, what each line is (a final result, an unsolicited result, information), and
// the unsolicited results turned into events with the state that spans lines (the PDU
// after +CMT, stored messages to read, the call). Used by the port thread (modem.cpp)
// and by the fuzz target. Never included by the program.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/modem.h"

namespace orven::modem::lines {

constexpr size_t longestLine = 4096;  // a longer line without end is noise
constexpr uint64_t never = UINT64_MAX;

inline bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The bytes read so far, taken apart into lines and the SMS prompt.
class LineBuffer {
  public:
    void append(const char* bytes, size_t size) {
        buffer_.append(bytes, size);
        if (buffer_.size() > longestLine && buffer_.find_first_of("\r\n") == std::string::npos)
            buffer_.clear();
    }
    void clear() { buffer_.clear(); }

    // The next non-empty line without its end and surrounding blanks.
    bool takeLine(std::string& line) {
        for (;;) {
            size_t end = buffer_.find_first_of("\r\n");
            if (end == std::string::npos) return false;
            line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            size_t first = line.find_first_not_of(" \t");
            if (first == std::string::npos) continue;
            line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
            return true;
        }
    }

    // "> " of AT+CMGS, which has no line end: "\r\n> ".
    bool takePrompt() {
        size_t at = buffer_.find_first_not_of("\r\n ");
        if (at == std::string::npos || buffer_[at] != '>') return false;
        buffer_.erase(0, at + 1);
        if (!buffer_.empty() && buffer_[0] == ' ') buffer_.erase(0, 1);
        return true;
    }

  private:
    std::string buffer_;
};

// ---- What a line is

std::string commandName(const std::string& command);
bool answersCall(const std::string& command);
bool isFinal(const std::string& line, const std::string& command);
bool isRestartMarker(const std::string& line);
bool isCallEnd(const std::string& line);
bool isUnsolicited(const std::string& line, const std::string& command);
bool isBusy(const std::string& finalLine);
std::string hexOnly(const std::string& line);
bool looksLikePdu(const std::string& line);
std::u16string callerOfClip(const std::string& line);
std::pair<std::string, int> storedOfCmti(const std::string& line);
int messageReferenceOf(const std::vector<std::string>& lines);

// ---- Unsolicited results and the calls they describe

enum class CallState { none, ringing, active };

// Turns unsolicited lines into events, keeping what spans lines: the PDU line after
// +CMT, the stored messages still to read, the state of the call.
class Router {
  public:
    using Sink = std::function<void(const Event&)>;
    explicit Router(Sink sink) : sink_(std::move(sink)) {}

    // True when the line was the continuation of an earlier one and is used up.
    bool continuation(const std::string& line) {
        if (awaiting_ == Awaiting::nothing) return false;
        Awaiting was = awaiting_;
        awaiting_ = Awaiting::nothing;
        if (!looksLikePdu(line)) return false;  // the PDU never came: a line of its own
        if (was == Awaiting::messagePdu) sink_({Event::Kind::message, hexOnly(line), {}});
        return true;
    }

    void unsolicited(const std::string& line, uint64_t now) {
        if (startsWith(line, "RING") || startsWith(line, "+CRING:")) return ring(now);
        if (startsWith(line, "+CLIP:")) return callerId(line, now);
        if (isCallEnd(line)) return callEnded();
        if (startsWith(line, "+CMT:"))
            awaiting_ = Awaiting::messagePdu;
        else if (startsWith(line, "+CDS:") || startsWith(line, "+CBM:"))
            awaiting_ = Awaiting::otherPdu;
        else if (startsWith(line, "+CMTI:"))
            stored(line);
        else if (isRestartMarker(line))
            restartSeen = true;
    }

    void answered() { call_ = CallState::active; }
    void callEnded() {
        if (call_ == CallState::none) return;
        call_ = CallState::none;
        sink_({Event::Kind::callEnded, {}, {}});
    }
    // A ringing call with no RING for `silenceMs` has ended; when to look next.
    uint64_t checkSilence(uint64_t now, uint32_t silenceMs) {
        if (call_ != CallState::ringing) return never;
        if (now - lastRing_ >= silenceMs) {
            callEnded();
            return never;
        }
        return lastRing_ + silenceMs;
    }
    void reset() {
        awaiting_ = Awaiting::nothing;
        callEnded();
    }

    std::deque<std::pair<std::string, int>> toRead;  // stored messages announced by +CMTI
    bool restartSeen = false;

  private:
    enum class Awaiting { nothing, messagePdu, otherPdu };

    void ring(uint64_t now) {
        if (call_ == CallState::none) {
            call_ = CallState::ringing;
            callerShown_ = false;
        }
        lastRing_ = now;
        sink_({Event::Kind::ring, {}, {}});
    }

    // The caller is shown once per call, however often +CLIP repeats.
    void callerId(const std::string& line, uint64_t now) {
        if (call_ == CallState::none) {
            call_ = CallState::ringing;
            callerShown_ = false;
            lastRing_ = now;
        }
        if (callerShown_) return;
        callerShown_ = true;
        sink_({Event::Kind::callerId, {}, callerOfClip(line)});
    }

    void stored(const std::string& line) {
        auto entry = storedOfCmti(line);
        if (entry.second <= 0) return;
        if (std::find(toRead.begin(), toRead.end(), entry) == toRead.end()) toRead.push_back(entry);
    }

    Sink sink_;
    Awaiting awaiting_ = Awaiting::nothing;
    CallState call_ = CallState::none;
    bool callerShown_ = false;
    uint64_t lastRing_ = 0;
};

}  // namespace orven::modem::lines
