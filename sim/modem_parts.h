// The simulated modem's parts, internal to sim/. Modem::State (modem.cpp) holds them
// together, runs the modem's thread and its timers, and owns the one lock every part
// runs under:
//
//   Line         modem_line.cpp     the pseudo-terminal; bytes pass at the line's rate
//   Interpreter  modem_at.cpp       AT commands, the PDU after the prompt, responses and
//                                   unsolicited results (held while a response is open)
//   Network      modem_network.cpp  the SIM's message store, the network (messages in,
//                                   calls) and the scripted partner
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/pdu.h"
#include "sim/modem.h"

namespace orven::sim {

// Microseconds of the machine's monotonic clock: the simulated modem runs in real time.
uint64_t monotonicUs();

// ---- The line

// A pseudo-terminal whose far end the client opens through a symbolic link that keeps
// its name when the modem vanishes and comes back. Bytes in both directions take the
// time of the line's speed; with speed 0 they pass at once.
class Line {
  public:
    Line(int baud, std::string linkPath) : baud_(baud), linkPath_(std::move(linkPath)) {}

    // Opens a new terminal (raw, 115200 baud) and points the link at its client end.
    void open();
    // Closes the terminal (the client sees the end of the device), removes the link and
    // drops the bytes under way.
    void close();
    bool isOpen() const { return master_ >= 0; }
    int fd() const { return master_; }
    const std::string& path() const { return linkPath_; }

    // Queues bytes for the client, each one byte time after the one before, or `gapUs`
    // when that is longer (URCs split across writes).
    void send(const std::string& bytes, uint64_t gapUs = 0);
    // Reads what the client wrote; its bytes arrive at the line's rate.
    void receive();
    // The client's bytes that have arrived by `nowUs`, in order.
    std::string takeArrived(uint64_t nowUs);
    // Writes the bytes due by `nowUs`. A client that does not read loses what does not fit.
    void flush(uint64_t nowUs);
    // When the next byte arrives or is due out; UINT64_MAX when none is under way.
    uint64_t nextDueUs() const;

  private:
    uint64_t byteTimeUs() const;

    int baud_;  // 0: bytes pass at once
    std::string linkPath_;
    int master_ = -1;     // the modem's end
    int slaveHold_ = -1;  // the client's end, held so that its settings last between users
    std::deque<std::pair<uint64_t, char>> input_, output_;  // bytes and when they are through
    uint64_t receiveFreeUs_ = 0;  // when the line is free for the client's next byte
    uint64_t sendFreeUs_ = 0;     // when the line is free for the modem's next byte
};

// ---- The AT interpreter

// What AT commands set; ATZ and a restart put the defaults back.
struct Settings {
    bool echo = true;
    int errorMode = 0;                     // AT+CMEE
    int messageFormat = 0;                 // AT+CMGF: 0 PDU
    int indications[5] = {0, 0, 0, 0, 0};  // AT+CNMI
    bool callerId = false;                 // AT+CLIP
    bool smsReady = true;                  // false from a restart until "SMS Ready"
};

// The faults a test injects (see the fault methods of Modem).
struct Faults {
    int refuseCount = 0;  // submissions answered refuseResult, after refuseAfter accepted
    int refuseAfter = 0;
    std::string refuseResult;
    int ignoreCount = 0;      // submissions without any answer
    int dropPromptCount = 0;  // AT+CMGS without a prompt (and without an answer)
    int busyCount = 0;        // commands answered busyResult instead
    std::string busyResult;
    bool silent = false;  // nothing is answered
};

class Interpreter {
  public:
    explicit Interpreter(Modem::State& modem);

    // One byte from the client: a command line ends with CR, a PDU with Ctrl-Z.
    void feed(char c);
    // One unsolicited result of one or more lines; held while a response is open.
    void urc(const std::vector<std::string>& lines);
    // A message part from the network, as AT+CNMI asks: +CMT, or stored on the SIM.
    void incoming(const pdu::Part& part, int messageClass);
    // One ring of the call from `number` (empty: withheld), and its caller when asked.
    void ring(const std::u16string& number, int type);
    // The module restarts: RDY and friends, and SMS Ready `smsReadyAfterMs` later.
    void restart(int smsReadyAfterMs);
    // The settings' defaults; a half-typed command or PDU and held URCs are dropped.
    void forgetSettings();

    Settings settings;
    Faults faults;
    std::vector<std::string> commands;  // every command line, as received
    std::string audio;                  // the last loudspeaker/audio command

  private:
    void feedPdu(char c);
    void commandLine(const std::string& text);
    void execute(const std::string& c, const std::string& original);

    void info(const std::string& text);
    void respond(const std::string& text);
    void final(const std::string& result);
    std::string errorText(const char* kind, int code) const;
    void cmsError(int code);
    void sendUrc(const std::string& framed);

    void identification(const std::string& c);
    void setting(const std::string& c, const char* name, int& value, int largest,
                 const char* range);
    void messageFormat(const std::string& c);
    void characterSet(const std::string& c);
    void storage(const std::string& c);
    void indications(const std::string& c);
    void callerIdSetting(const std::string& c);
    void startSubmission(const std::string& c);
    void submission(const std::string& hex);
    void readMessage(const std::string& c);
    void deleteMessage(const std::string& c);
    void listMessages(const std::string& c);
    void answer();
    void hangUp();

    Modem::State& modem_;
    std::string line_;                   // the command line typed so far
    bool inPdu_ = false;                 // between the prompt and Ctrl-Z or ESC
    int announcedLength_ = 0;            // the n of AT+CMGS=<n>
    std::string pduText_;                // the PDU typed so far
    bool holdUrcs_ = false;              // a response is open: URCs wait for its end
    bool awaitingNetwork_ = false;       // between Ctrl-Z and the final result
    std::vector<std::string> heldUrcs_;  // framed, in order
    uint8_t nextReference_;              // the next +CMGS: <mr>
};

// ---- The SIM's store, the network and the partner

// A message on the SIM.
struct Stored {
    std::string pdu;
    int tpduLength = 0;
    int stat = 0;  // 0 received unread, 1 received read
};

class Network {
  public:
    Network(Modem::State& modem, int storageSlots);

    // ---- The SIM's message store; indexes count from 1.
    // Stores a message in the first free slot: its index, 0 when the SIM is full.
    int store(const Stored& message);
    // The message at `index`; null for an empty slot or an index out of range.
    Stored* stored(int index);
    bool validIndex(int index) const;
    void erase(int index);
    // Deletes every read message, or every message at all.
    void eraseRead(bool all);
    int used() const;
    int capacity() const { return static_cast<int>(slots_.size()); }

    // ---- What the client sent
    // One accepted SMS-SUBMIT; a message it completes is kept and the partner acts on it.
    void submitted(const std::string& hex, const pdu::Message& m, int announcedLength);

    // ---- The network's side
    void deliver(const std::u16string& from, const std::u16string& text, pdu::Alphabet alphabet,
                 int messageClass);
    void startCall(const std::u16string& number, int type);
    // ATA: false when nothing rings.
    bool answer();
    // ATH: a ringing or answered call ends, without a word to the client.
    void hangUpHere();
    // The caller gives up or hangs up: NO CARRIER.
    void callerHangsUp();
    // The line went away: a ringing call ends.
    void lineLost();
    void setPartner(const Partner& partner);

    std::vector<SentMessage> messages;  // complete messages, in order
    std::vector<Call> calls;

  private:
    void complete(const SentMessage& message);
    void ringOnce(unsigned generation);
    void endCall(bool tellClient);
    bool callActive() const;

    Modem::State& modem_;
    std::vector<std::optional<Stored>> slots_;
    std::map<std::pair<std::u16string, unsigned>, SentMessage> partial_;  // by number, reference
    bool ringing_ = false;
    int ringsLeft_ = 0;
    int callerType_ = 145;
    unsigned callGeneration_ = 0;  // a timer of an earlier call finds another generation
    Partner partner_;
    bool partnerActed_ = false;
    uint8_t deliverReference_ = 0x30;  // concatenation reference of the next delivered message
};

// ---- The whole

struct Modem::State {
    explicit State(const Options& options);

    // Runs `action` on the modem's thread `delayMs` from now.
    void schedule(int delayMs, std::function<void()> action);
    // Something a test may wait for changed (waitUntil).
    void noteChange() { changed.notify_all(); }
    // A caller changed something the thread must act on.
    void wake();
    void run();

    const Options options;
    mutable std::mutex lock;  // every part below runs under it
    mutable std::condition_variable changed;
    std::string directory;  // the temporary directory that holds the line's link
    Line line;
    Interpreter at;
    Network network;
    std::multimap<uint64_t, std::function<void()>> timers;  // due time (us) to action
    std::thread thread;
    int wakeFd = -1;
    bool stopping = false;

  private:
    int timeoutMs(uint64_t now) const;
    void runDue(uint64_t now);
};

}  // namespace orven::sim
