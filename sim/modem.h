// A simulated GSM modem on a pseudo-terminal, with the network and a partner phone
// behind it. It answers the AT commands of 3GPP TS 27.005 (SMS in PDU mode) and 27.007
// (calls, caller id) as a SIMCom or Quectel module would, so that the program's modem
// layer and a real AT client (gammu) can both be pointed at it.
//
// What it offers a test:
// - the path of the client's end (a stable symbolic link, so a modem that vanishes and
//   comes back keeps its name);
// - every SMS-SUBMIT received, decoded and reassembled into messages (number, alphabet,
//   class, concatenation, text);
// - the network side: deliver an SMS (as +CMT or +CMTI, as AT+CNMI asks), ring from a
//   number (RING and +CLIP until answered, refused or given up), hang up;
// - a scripted partner who replies by SMS or calls back a while after a message came;
// - faults: refuse submissions with a chosen error, stay silent, drop the prompt, answer
//   busy, restart (RDY, settings forgotten), vanish and come back, odd line endings and
//   URCs split across writes, the line speed of a real serial link.
//
// The modem runs on a thread of its own in real time. Every method may be called from
// any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/pdu.h"

namespace orven::sim {

// The command that switches the simulated phone's audio to the loudspeaker (SIMCom's
// hands-free channel).
constexpr const char* loudspeakerCommand = "AT+CHFA=1";

// One message the client sent, its parts put together.
struct SentMessage {
    std::u16string number;  // destination as decoded
    std::u16string text;    // the whole text
    pdu::Alphabet alphabet = pdu::Alphabet::gsm7;
    uint8_t dcs = 0;
    int messageClass = pdu::noClass;
    bool statusReport = false;  // TP-SRR of the first part
    bool validityPresent = false;
    unsigned parts = 1;
    unsigned reference = 0;             // concatenation reference (0 for one part)
    std::vector<std::string> pdus;      // as written after the prompt, in part order
    std::vector<int> announcedLengths;  // the n of each AT+CMGS=<n>
};

struct Call {
    std::u16string number;  // caller as shown in +CLIP; empty when withheld
    bool answered = false;
    bool ended = false;
};

struct Partner {
    enum class Action { none, replyBySms, callBack };
    Action action = Action::none;
    std::u16string from;  // the partner's number; empty: the number the message went to
    std::u16string text = u"OK, coming";
    int delayMs = 8000;        // after the whole message came
    bool everyMessage = true;  // false: only the first message
};

class Modem {
  public:
    struct Options {
        int baud = 0;                     // 0: bytes pass at once; else the speed of the line
        int ringIntervalMs = 3000;        // RING and +CLIP repeat this often
        int ringsBeforeGivingUp = 10;     // then the caller hangs up: NO CARRIER
        std::string urcLineEnd = "\r\n";  // "\r\r\n" (SIMCom) or "\r" (bare CR) to test parsers
        int splitUrcGapMs = 0;            // >0: URCs go out a byte at a time, this far apart
        int storageSlots = 30;            // messages the SIM stores
        bool refuseStoredIndications = false;  // AT+CNMI with <mt> 1 answers ERROR (only +CMT)
        bool urcsWhileSubmitting = false;      // URCs may come between a PDU and its +CMGS
    };

    Modem();
    explicit Modem(const Options& options);
    ~Modem();
    Modem(const Modem&) = delete;
    Modem& operator=(const Modem&) = delete;

    // The client's end of the line: a symbolic link to the current pseudo-terminal.
    const std::string& path() const;

    // ---- What the client did
    std::vector<SentMessage> messages() const;      // complete messages, in order
    std::vector<std::string> commandLines() const;  // every command line, as received
    std::vector<Call> calls() const;
    std::string audioCommand() const;  // last loudspeaker/audio command
    bool smsIndicationsOn() const;     // AT+CNMI asks for +CMT or +CMTI
    bool callerIdOn() const;           // AT+CLIP=1 is in force
    // Polls pred (real time, bounded) and reports whether it held.
    bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000) const;

    // ---- The network side
    // An SMS from `from` (a number, or a name for an alphanumeric sender).
    void deliverSms(const std::u16string& from, const std::u16string& text,
                    pdu::Alphabet alphabet = pdu::Alphabet::gsm7, int messageClass = pdu::noClass);
    // A call from `number` (empty: withheld); `type` 145 international, 129 unknown.
    void ring(const std::u16string& number, int type = 145);
    // The caller gives up or hangs up.
    void hangUp();
    void setPartner(const Partner& partner);

    // ---- Faults
    // After `afterAccepting` more accepted submissions, the next `count` get `result`
    // ("+CMS ERROR: 500", "ERROR") after Ctrl-Z.
    void refuseSubmissions(int count, const std::string& result, int afterAccepting = 0);
    // The next `count` submissions get no answer at all after Ctrl-Z.
    void ignoreSubmissions(int count);
    // The next `count` AT+CMGS get no prompt (and no answer).
    void dropPrompts(int count);
    // Nothing the client sends is answered while on.
    void setSilent(bool silent);
    // The next `count` commands are answered with `result` (a busy error) instead.
    void answerBusy(int count, const std::string& result = "+CME ERROR: 14");
    // The module restarts: RDY, +CPIN: READY, and SMS Ready `smsReadyAfterMs` later;
    // echo, error mode, message indications and caller id are back to their defaults,
    // and SMS commands answer ERROR until SMS Ready.
    void restart(int smsReadyAfterMs = 0);
    // The line goes away (the client sees the end of the device) and comes back as a new
    // pseudo-terminal behind the same path `backAfterMs` later (never when negative).
    void vanish(int backAfterMs);

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace orven::sim
