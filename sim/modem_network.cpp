// The simulated modem's SIM, network and partner: the SIM's message store, the messages
// the client sent (its SMS-SUBMIT parts put together), messages and calls from the
// network, and the scripted partner who answers a message some time after it came.
// Relies on the PDU codec and, to tell the client, on the AT interpreter's unsolicited
// results. Runs under the modem's lock.
#include <algorithm>

#include "sim/modem_parts.h"

namespace orven::sim {

namespace {

constexpr int withheldType = 128;       // type of address of a withheld caller
constexpr int internationalType = 145;  // "+" and digits
constexpr int unknownType = 129;        // any other number

}  // namespace

Network::Network(Modem::State& modem, int storageSlots)
    : modem_(modem), slots_(static_cast<size_t>(std::max(storageSlots, 1))) {}

// ---- The SIM's message store

int Network::store(const Stored& message) {
    auto free = std::find_if(slots_.begin(), slots_.end(), [](auto& s) { return !s.has_value(); });
    if (free == slots_.end()) return 0;
    *free = message;
    return static_cast<int>(free - slots_.begin()) + 1;
}

Stored* Network::stored(int index) {
    if (!validIndex(index) || !slots_[index - 1]) return nullptr;
    return &*slots_[index - 1];
}

bool Network::validIndex(int index) const {
    return index >= 1 && index <= capacity();
}

void Network::erase(int index) {
    slots_[index - 1].reset();
    modem_.noteChange();
}

void Network::eraseRead(bool all) {
    for (auto& s : slots_)
        if (s && (all || s->stat == 1)) s.reset();
}

int Network::used() const {
    return static_cast<int>(
        std::count_if(slots_.begin(), slots_.end(), [](auto& s) { return s.has_value(); }));
}

// ---- What the client sent

// A part of a concatenated message waits for the others (by number and reference); a
// part whose count differs from the first one's is dropped.
void Network::submitted(const std::string& hex, const pdu::Message& m, int announcedLength) {
    SentMessage part;
    part.number = m.number;
    part.text = m.text;
    part.alphabet = m.alphabet;
    part.dcs = m.dcs;
    part.messageClass = m.messageClass;
    part.statusReport = m.statusReportRequested;
    part.validityPresent = m.validityPresent;
    part.pdus = {hex};
    part.announcedLengths = {announcedLength};
    if (!m.concat.present) return complete(part);
    part.parts = m.concat.total;
    part.reference = m.concat.reference;
    auto key = std::make_pair(m.number, m.concat.reference);
    SentMessage& gathering = partial_[key];
    if (gathering.pdus.empty()) {
        gathering = part;
        gathering.text.clear();
        gathering.pdus.assign(m.concat.total, "");
        gathering.announcedLengths.assign(m.concat.total, 0);
        gathering.number = m.number;
    }
    if (m.concat.total != gathering.pdus.size()) return;  // inconsistent parts: dropped
    gathering.pdus[m.concat.sequence - 1] = hex;
    gathering.announcedLengths[m.concat.sequence - 1] = announcedLength;
    if (std::count(gathering.pdus.begin(), gathering.pdus.end(), "") > 0) return;
    SentMessage whole = gathering;
    partial_.erase(key);
    for (const std::string& p : whole.pdus) {
        pdu::Message piece;
        pdu::decode(p, piece);
        whole.text += piece.text;
    }
    complete(whole);
}

// The partner answers a message (every one, or only the first) `delayMs` after it came,
// by SMS or by calling back, from its own number or the one the message went to.
void Network::complete(const SentMessage& message) {
    messages.push_back(message);
    modem_.noteChange();
    if (partner_.action == Partner::Action::none || (partnerActed_ && !partner_.everyMessage))
        return;
    partnerActed_ = true;
    std::u16string from = partner_.from.empty() ? message.number : partner_.from;
    Partner p = partner_;
    modem_.schedule(p.delayMs, [this, p, from] {
        if (p.action == Partner::Action::replyBySms)
            deliver(from, p.text,
                    pdu::gsmEncodable(p.text) ? pdu::Alphabet::gsm7 : pdu::Alphabet::ucs2,
                    pdu::noClass);
        else
            startCall(from, !from.empty() && from[0] == u'+' ? internationalType : unknownType);
    });
}

void Network::setPartner(const Partner& partner) {
    partner_ = partner;
    partnerActed_ = false;
}

// ---- Messages from the network

// As SMS-DELIVERs from the network's centre, in parts when long, each handed to the
// client as AT+CNMI asks.
void Network::deliver(const std::u16string& from, const std::u16string& text,
                      pdu::Alphabet alphabet, int messageClass) {
    pdu::DeliverOptions o;
    o.alphabet = alphabet;
    o.messageClass = messageClass;
    o.reference = deliverReference_++;
    std::vector<pdu::Part> parts;
    if (!pdu::encodeDeliver(from, text, o, parts)) return;
    for (const pdu::Part& part : parts) modem_.at.incoming(part, messageClass);
}

// ---- Calls

// A call rings every ringIntervalMs until answered, hung up, or given up after
// ringsBeforeGivingUp rings. A second call while one rings is not put through.
void Network::startCall(const std::u16string& number, int type) {
    if (ringing_) return;
    calls.push_back(Call{number, false, false});
    ringing_ = true;
    callerType_ = number.empty() ? withheldType : type;
    ringsLeft_ = modem_.options.ringsBeforeGivingUp;
    ringOnce(++callGeneration_);
    modem_.noteChange();
}

void Network::ringOnce(unsigned generation) {
    if (!ringing_ || generation != callGeneration_) return;
    modem_.at.ring(calls.back().number, callerType_);
    int interval = modem_.options.ringIntervalMs;
    if (--ringsLeft_ > 0) {
        modem_.schedule(interval, [this, generation] { ringOnce(generation); });
    } else {
        modem_.schedule(interval, [this, generation] {
            if (ringing_ && generation == callGeneration_) endCall(true);
        });
    }
}

void Network::endCall(bool tellClient) {
    ringing_ = false;
    if (!calls.empty()) calls.back().ended = true;
    ++callGeneration_;
    if (tellClient) modem_.at.urc({"NO CARRIER"});
    modem_.noteChange();
}

bool Network::callActive() const {
    return !calls.empty() && calls.back().answered && !calls.back().ended;
}

bool Network::answer() {
    if (!ringing_) return false;
    ringing_ = false;
    ++callGeneration_;
    calls.back().answered = true;
    modem_.noteChange();
    return true;
}

void Network::hangUpHere() {
    if (ringing_ || callActive()) endCall(false);
}

void Network::callerHangsUp() {
    if (ringing_ || callActive()) endCall(true);
}

void Network::lineLost() {
    if (ringing_) endCall(false);
}

}  // namespace orven::sim
