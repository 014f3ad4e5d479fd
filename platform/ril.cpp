// The Radio Interface Layer over the modem: the modem's events become notifications on
// a thread of the radio's own, after the shell has shown its window for them. Relies on
// modem.cpp (events, ATA) or modemmanager.cpp (events, Call.Accept), the PDU codec
// (incoming messages) and shell_notify.cpp.
//
// The port thread only queues events here; everything that may take time (the shell's
// windows, the program's callbacks, which may sleep) runs on the notification thread,
// one callback at a time.
#include "platform/ril.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/internal.h"
#include "platform/modem.h"
#include "platform/modemmanager.h"
#include "platform/pdu.h"
#include "platform/shell_notify.h"
#include "platform/text.h"
#include "platform/transcript.h"

namespace orven::radio {

namespace {

constexpr DWORD phoneRadioIndex = 1;
constexpr uintptr_t firstClientHandle = 0x52490004;  // "RI": never 0, never a kernel handle
constexpr size_t rememberedParts = 64;               // concatenated messages already reported

struct Client {
    uintptr_t handle;
    RILRESULTCALLBACK result;
    RILNOTIFYCALLBACK notify;
    DWORD classes;
    DWORD parameter;
};

struct Radio {
    std::mutex lock;               // guards everything below
    std::condition_variable wake;  // work arrived
    std::condition_variable callbackEnded;
    std::deque<std::function<void()>> work;
    std::vector<Client> clients;
    uintptr_t nextHandle = firstClientHandle;
    bool threadRunning = false;
    std::thread::id notificationThread;
    uintptr_t inCallbackOf = 0;  // the client whose callback runs now
    HRESULT nextCommandId = 1;
    std::deque<std::pair<std::u16string, unsigned>> reportedMessages;  // (sender, reference)
};

Radio& radio() {
    static Radio* state = new Radio;  // lives as long as the process, like its thread
    return *state;
}

void notificationLoop() {
    Radio& r = radio();
    std::unique_lock<std::mutex> hold(r.lock);
    for (;;) {
        r.wake.wait(hold, [&] { return !r.work.empty(); });
        auto task = std::move(r.work.front());
        r.work.pop_front();
        hold.unlock();
        task();
        hold.lock();
    }
}

void queueWork(std::function<void()> task) {
    Radio& r = radio();
    std::lock_guard<std::mutex> hold(r.lock);
    r.work.push_back(std::move(task));
    if (!r.threadRunning) {
        r.threadRunning = true;
        std::thread thread(notificationLoop);
        r.notificationThread = thread.get_id();
        thread.detach();
    }
    r.wake.notify_one();
}

// Calls fn for each client that wants `notificationClass` (all clients for results),
// one at a time, noting whose callback runs so that RIL_Deinitialize can wait for it.
void forEachClient(DWORD notificationClass, const std::function<void(const Client&)>& fn) {
    Radio& r = radio();
    std::vector<Client> clients;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        clients = r.clients;
    }
    for (const Client& c : clients) {
        if (notificationClass != RIL_NCLASS_FUNCRESULT && (c.classes & notificationClass) == 0)
            continue;
        {
            std::lock_guard<std::mutex> hold(r.lock);
            bool stillThere = std::any_of(r.clients.begin(), r.clients.end(),
                                          [&](const Client& x) { return x.handle == c.handle; });
            if (!stillThere) continue;
            r.inCallbackOf = c.handle;
        }
        fn(c);
        std::lock_guard<std::mutex> hold(r.lock);
        r.inCallbackOf = 0;
        r.callbackEnded.notify_all();
    }
}

void notifyAll(DWORD code, const void* data, DWORD size) {
    forEachClient(code & RIL_NCLASS_ALL, [&](const Client& c) {
        if (c.notify != nullptr) c.notify(code, data, size, c.parameter);
    });
}

DWORD addressType(uint8_t typeOfAddress) {
    switch ((typeOfAddress >> 4) & 7) {
        case 1: return RIL_ADDRTYPE_INTERNATIONAL;
        case 2: return RIL_ADDRTYPE_NATIONAL;
        case 5: return RIL_ADDRTYPE_ALPHANUM;
        default: return RIL_ADDRTYPE_UNKNOWN;
    }
}

void fillAddress(RILADDRESS& address, const std::u16string& text, DWORD type) {
    address.cbSize = sizeof address;
    address.dwParams = RIL_PARAM_A_TYPE | RIL_PARAM_A_ADDRESS;
    address.dwType = type;
    lstrcpynW(address.wszAddress, text.c_str(), MAXLENGTH_ADDRESS);
}

// The parts of one concatenated message make one notification: the first that comes.
bool alreadyReported(const pdu::Message& m) {
    if (!m.concat.present) return false;
    Radio& r = radio();
    std::lock_guard<std::mutex> hold(r.lock);
    auto key = std::make_pair(m.number, m.concat.reference);
    if (std::find(r.reportedMessages.begin(), r.reportedMessages.end(), key) !=
        r.reportedMessages.end())
        return true;
    r.reportedMessages.push_back(key);
    if (r.reportedMessages.size() > rememberedParts) r.reportedMessages.pop_front();
    return false;
}

void deliverDecoded(const pdu::Message& m) {
    if (alreadyReported(m)) return;
    auto message = std::make_unique<RILMESSAGE>();
    *message = RILMESSAGE{};
    message->cbSize = sizeof(RILMESSAGE);
    message->dwParams =
        RIL_PARAM_M_SVCCTRADDRESS | RIL_PARAM_M_TYPE | RIL_PARAM_M_ORIGADDRESS | RIL_PARAM_M_MSG;
    fillAddress(message->raSvcCtrAddress, m.smsc, RIL_ADDRTYPE_INTERNATIONAL);
    message->dwType = RIL_MSGTYPE_IN_DELIVER;
    RILMSGINDELIVER& in = message->msgInDeliver;
    fillAddress(in.raOrigAddress, m.number, addressType(m.numberType));
    in.dwProtocolID = m.protocolId;
    in.rmdDataCoding.cbSize = sizeof in.rmdDataCoding;
    in.rmdDataCoding.dwAlphabet = m.alphabet == pdu::Alphabet::ucs2       ? RIL_DCSALPHABET_UCS2
                                  : m.alphabet == pdu::Alphabet::eightBit ? RIL_DCSALPHABET_8BIT
                                                                          : RIL_DCSALPHABET_DEFAULT;
    size_t units = std::min(m.text.size(), sizeof in.rgbMsg / sizeof(WCHAR));
    for (size_t i = 0; i < units; ++i) {
        in.rgbMsg[2 * i] = static_cast<BYTE>(m.text[i] & 0xFF);
        in.rgbMsg[2 * i + 1] = static_cast<BYTE>(m.text[i] >> 8);
    }
    in.cchMsgLength = static_cast<DWORD>(units);
    shell::showNewMessage(m.number, m.text);
    internal::trace("radio: message from %s", toUtf8(m.number).c_str());
    transcript::line("SMS from %s: %s", toUtf8(m.number).c_str(),
                     transcript::oneLine(m.text).c_str());
    notifyAll(RIL_NOTIFY_MESSAGE, message.get(), sizeof(RILMESSAGE));
}

void deliverMessage(const std::string& hex) {
    pdu::Message m;
    if (!pdu::decode(hex, m) || m.kind != pdu::Kind::deliver) {
        internal::trace("radio: a message that is no delivery was dropped");
        return;
    }
    deliverDecoded(m);
}

// A message ModemManager decoded and reassembled: it reads as a delivery of one part.
void deliverText(const modem::Event& event) {
    pdu::Message m;
    m.smsc = event.centre;
    m.number = event.number;
    bool international = !event.number.empty() && event.number[0] == u'+';
    bool digits = !event.number.empty() &&
                  event.number.find_first_not_of(u"+0123456789*#", 0) == std::u16string::npos;
    m.numberType = international ? 0x91 : digits ? 0x81 : 0xD0;  // D0: alphanumeric
    m.alphabet = pdu::gsmEncodable(event.text) ? pdu::Alphabet::gsm7 : pdu::Alphabet::ucs2;
    m.text = event.text;
    deliverDecoded(m);
}

void deliverCallerId(const std::u16string& number) {
    RILREMOTEPARTYINFO info{};
    info.cbSize = sizeof info;
    info.dwParams = RIL_PARAM_RPI_VALIDITY;
    info.dwValidity = number.empty() ? RIL_REMOTEPARTYINFO_WITHHELD : RIL_REMOTEPARTYINFO_VALID;
    if (!number.empty()) {
        info.dwParams |= RIL_PARAM_RPI_ADDRESS;
        fillAddress(info.raAddress, number,
                    number[0] == u'+' ? RIL_ADDRTYPE_INTERNATIONAL : RIL_ADDRTYPE_UNKNOWN);
    }
    shell::showIncomingCall(number);
    internal::trace("radio: call from %s", number.empty() ? "(withheld)" : toUtf8(number).c_str());
    transcript::line("call from %s", number.empty() ? "a withheld number" : toUtf8(number).c_str());
    notifyAll(RIL_NOTIFY_CALLERID, &info, sizeof info);
}

void deliver(const modem::Event& event) {
    switch (event.kind) {
        case modem::Event::Kind::message: return deliverMessage(event.pdu);
        case modem::Event::Kind::text: return deliverText(event);
        case modem::Event::Kind::ring: return notifyAll(RIL_NOTIFY_RING, nullptr, 0);
        case modem::Event::Kind::callerId: return deliverCallerId(event.number);
        case modem::Event::Kind::callEnded:
        case modem::Event::Kind::lost:
            shell::endIncomingCall();
            if (event.kind == modem::Event::Kind::callEnded)
                notifyAll(RIL_NOTIFY_DISCONNECT, nullptr, 0);
            return;
        case modem::Event::Kind::ready: return;
    }
}

DWORD resultCodeOf(const modem::Result& result) {
    if (result.outcome == modem::Outcome::ok) return RIL_RESULT_OK;
    if (result.outcome != modem::Outcome::refused) return RIL_RESULT_ERROR;
    if (result.finalLine == "NO CARRIER") return RIL_RESULT_NOCARRIER;
    if (result.finalLine == "BUSY") return RIL_RESULT_BUSY;
    if (result.finalLine == "NO ANSWER") return RIL_RESULT_NOANSWER;
    if (result.finalLine == "NO DIALTONE") return RIL_RESULT_NODIALTONE;
    return RIL_RESULT_ERROR;
}

bool knownClient(HRIL handle) {
    Radio& r = radio();
    std::lock_guard<std::mutex> hold(r.lock);
    return std::any_of(r.clients.begin(), r.clients.end(), [&](const Client& c) {
        return c.handle == reinterpret_cast<uintptr_t>(handle);
    });
}

}  // namespace

void onModemEvent(const modem::Event& event) {
    queueWork([event] { deliver(event); });
}

bool drainForTests(uint32_t timeoutMs) {
    struct Marker {
        std::mutex lock;
        std::condition_variable reached;
        bool done = false;
    };
    auto marker = std::make_shared<Marker>();
    queueWork([marker] {
        std::lock_guard<std::mutex> hold(marker->lock);
        marker->done = true;
        marker->reached.notify_all();
    });
    std::unique_lock<std::mutex> hold(marker->lock);
    return marker->reached.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                    [&] { return marker->done; });
}

}  // namespace orven::radio

using namespace orven;

// ---- RIL_Initialize
HRESULT RIL_Initialize(DWORD index, RILRESULTCALLBACK resultCallback,
                       RILNOTIFYCALLBACK notifyCallback, DWORD notificationClasses, DWORD parameter,
                       HRIL* handle) {
    if (index != radio::phoneRadioIndex || handle == nullptr) return E_INVALIDARG;
    radio::Radio& r = radio::radio();
    {
        std::lock_guard<std::mutex> hold(r.lock);
        uintptr_t value = r.nextHandle;
        r.nextHandle += 4;
        r.clients.push_back(
            {value, resultCallback, notifyCallback, notificationClasses, parameter});
        *handle = reinterpret_cast<HRIL>(value);
    }
    internal::trace("RIL_Initialize classes=%#x", notificationClasses);
    modem::start();
    return S_OK;
}

// ---- RIL_Answer
HRESULT RIL_Answer(HRIL handle) {
    if (!radio::knownClient(handle)) return E_INVALIDARG;
    radio::Radio& r = radio::radio();
    HRESULT id;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        id = r.nextCommandId++;
        if (r.nextCommandId <= 0) r.nextCommandId = 1;
    }
    uintptr_t client = reinterpret_cast<uintptr_t>(handle);
    internal::trace("RIL_Answer id=%d", static_cast<int>(id));
    auto done = [id, client](const modem::Result& result) {
        DWORD code = radio::resultCodeOf(result);
        radio::queueWork([id, client, code] {
            if (code == RIL_RESULT_OK) shell::endIncomingCall();  // the call screen takes over
            transcript::line(code == RIL_RESULT_OK ? "call answered" : "call not answered");
            radio::forEachClient(RIL_NCLASS_FUNCRESULT, [&](const radio::Client& c) {
                if (c.handle == client && c.result != nullptr)
                    c.result(code, id, nullptr, 0, c.parameter);
            });
        });
    };
    if (modem::viaModemManager())
        modemmanager::answer(done);
    else
        modem::post("ATA", modem::timeouts().answer, true, done);
    return id;
}

// ---- RIL_Deinitialize
HRESULT RIL_Deinitialize(HRIL handle) {
    radio::Radio& r = radio::radio();
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    std::unique_lock<std::mutex> hold(r.lock);
    auto it = std::find_if(r.clients.begin(), r.clients.end(),
                           [&](const radio::Client& c) { return c.handle == value; });
    if (it == r.clients.end()) return E_INVALIDARG;
    r.clients.erase(it);
    if (std::this_thread::get_id() != r.notificationThread)
        r.callbackEnded.wait(hold, [&] { return r.inCallbackOf != value; });
    internal::trace("RIL_Deinitialize");
    return S_OK;
}
