// The SMS library: handles of the text protocol, and sending a text as one or more PDUs
// through the modem, part after part, each confirmed by +CMGS before the next; or, when
// ModemManager owns the modem, as one message that ModemManager splits and sends.
// Relies on the PDU codec, modem.cpp and modemmanager.cpp.
#include "platform/sms.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <set>

#include "platform/internal.h"
#include "platform/modem.h"
#include "platform/modemmanager.h"
#include "platform/pdu.h"
#include "platform/text.h"
#include "platform/transcript.h"

namespace {

using namespace orven;

std::mutex handlesLock;
std::set<SMS_HANDLE> openHandles;  // guarded by handlesLock
SMS_HANDLE nextHandle = 1;         // guarded by handlesLock; never 0
std::atomic<SMS_MESSAGE_ID> nextMessageId{1};

// Concatenation references: a new one for every message, starting anywhere, so that two
// sends of the same text are never merged by the receiving phone.
uint8_t nextReference() {
    static std::atomic<unsigned> reference{std::random_device{}()};
    return static_cast<uint8_t>(reference.fetch_add(1));
}

// The address text, read no further than its array even when it is not terminated.
std::u16string addressText(const SMS_ADDRESS& address) {
    size_t length = 0;
    while (length < SMS_MAX_ADDRESS_LENGTH && address.ptsAddress[length] != 0) ++length;
    return std::u16string(address.ptsAddress, length);
}

bool isOpen(SMS_HANDLE handle) {
    std::lock_guard<std::mutex> hold(handlesLock);
    return openHandles.count(handle) != 0;
}

HRESULT errorOf(modem::Outcome outcome) {
    switch (outcome) {
        case modem::Outcome::ok: return S_OK;
        case modem::Outcome::refused: return SMS_E_SENDFAILED;
        case modem::Outcome::timedOut: return SMS_E_TIMEOUT;
        default: return SMS_E_RADIOUNAVAILABLE;
    }
}

// The encoding: GSM 7-bit only when asked for or when the text allows it.
bool chooseAlphabet(SMS_DATA_ENCODING encoding, const std::u16string& text,
                    pdu::Alphabet& alphabet) {
    switch (encoding) {
        case SMSDE_OPTIMAL:
            alphabet = pdu::gsmEncodable(text) ? pdu::Alphabet::gsm7 : pdu::Alphabet::ucs2;
            return true;
        case SMSDE_GSM: alphabet = pdu::Alphabet::gsm7; return pdu::gsmEncodable(text);
        case SMSDE_UCS2: alphabet = pdu::Alphabet::ucs2; return true;
        default: return false;
    }
}

// Message class and status report from the text protocol's provider data.
void applyProviderData(const BYTE* data, DWORD size, pdu::SubmitOptions& options) {
    if (data == nullptr || size < sizeof(TEXT_PROVIDER_SPECIFIC_DATA)) return;
    TEXT_PROVIDER_SPECIFIC_DATA provider;
    std::memcpy(&provider, data, sizeof provider);
    if (provider.psMessageClass <= PS_MESSAGE_CLASS3)
        options.messageClass = static_cast<int>(provider.psMessageClass);
    options.statusReport = (provider.dwMessageOptions & PS_MESSAGE_OPTION_STATUSREPORT) != 0;
}

// ModemManager encodes and splits the text itself; sent means it reported the message
// SENT. The parts encoded here only checked that the text and number can be sent.
HRESULT sendThroughModemManager(const std::u16string& number, const std::u16string& text,
                                const pdu::SubmitOptions& options) {
    modem::Result r =
        modemmanager::sendText(number, text, options.messageClass, options.statusReport);
    return errorOf(r.outcome);
}

HRESULT sendParts(const std::vector<pdu::Part>& parts) {
    for (const pdu::Part& part : parts) {
        modem::Result r = modem::submit(part.hex, part.tpduLength);
        if (r.outcome != modem::Outcome::ok) return errorOf(r.outcome);
        // Sent means +CMGS: <mr>; an OK without it confirms nothing.
        if (r.messageReference < 0) return SMS_E_SENDFAILED;
    }
    return S_OK;
}

}  // namespace

// ---- SmsOpen
HRESULT SmsOpen(LPCWSTR protocol, DWORD messageModes, SMS_HANDLE* handle,
                HANDLE* messageAvailableEvent) {
    if (protocol == nullptr || lstrcmpW(protocol, SMS_MSGTYPE_TEXT) != 0)
        return SMS_E_INVALIDPROTOCOL;
    if (handle == nullptr || (messageModes & (SMS_MODE_SEND | SMS_MODE_RECEIVE)) == 0)
        return E_INVALIDARG;
    if (messageAvailableEvent != nullptr) *messageAvailableEvent = nullptr;
    {
        std::lock_guard<std::mutex> hold(handlesLock);
        *handle = nextHandle++;
        if (nextHandle == 0) nextHandle = 1;
        openHandles.insert(*handle);
    }
    modem::start();
    internal::trace("SmsOpen handle=%u", static_cast<unsigned>(*handle));
    return S_OK;
}

namespace {

// How the transcript tells a send's result.
const char* sendResultText(HRESULT result) {
    switch (result) {
        case S_OK: return "sent";
        case SMS_E_INVALIDDATA: return "not sent (the number or the text cannot be sent)";
        case SMS_E_TIMEOUT: return "not sent (the modem did not answer in time)";
        case SMS_E_RADIOUNAVAILABLE: return "not sent (no modem)";
        default: return "not sent (refused)";
    }
}

}  // namespace

// ---- SmsSendMessage
HRESULT SmsSendMessage(SMS_HANDLE handle, const SMS_ADDRESS* serviceCentre,
                       const SMS_ADDRESS* destination, const SYSTEMTIME*, const BYTE* data,
                       DWORD dataSize, const BYTE* providerData, DWORD providerDataSize,
                       SMS_DATA_ENCODING encoding, DWORD, SMS_MESSAGE_ID* messageId) {
    if (!isOpen(handle) || destination == nullptr || (data == nullptr && dataSize != 0) ||
        dataSize % 2 != 0)
        return E_INVALIDARG;
    std::u16string number = addressText(*destination);
    std::u16string text(dataSize / 2, u'\0');
    if (dataSize != 0) std::memcpy(text.data(), data, dataSize);
    pdu::SubmitOptions options;
    if (serviceCentre != nullptr) options.smsc = addressText(*serviceCentre);
    applyProviderData(providerData, providerDataSize, options);
    options.reference = nextReference();
    std::vector<pdu::Part> parts;
    const bool encoded = chooseAlphabet(encoding, text, options.alphabet) &&
                         pdu::encodeSubmit(number, text, options, parts);
    if (encoded)
        transcript::line("SMS to %s, %zu part%s: %s", toUtf8(number).c_str(), parts.size(),
                         parts.size() == 1 ? "" : "s", transcript::oneLine(text).c_str());
    HRESULT result = SMS_E_INVALIDDATA;
    if (encoded)
        result = modem::viaModemManager() ? sendThroughModemManager(number, text, options)
                                          : sendParts(parts);
    transcript::line("SMS to %s: %s", toUtf8(number).c_str(), sendResultText(result));
    if (messageId != nullptr) *messageId = nextMessageId.fetch_add(1);
    internal::trace("SmsSendMessage handle=%u to=%s bytes=%u parts=%zu result=%#x",
                    static_cast<unsigned>(handle), toUtf8(number).c_str(),
                    static_cast<unsigned>(dataSize), parts.size(), static_cast<unsigned>(result));
    return result;
}

// ---- SmsClose
HRESULT SmsClose(SMS_HANDLE handle) {
    size_t erased;
    {
        std::lock_guard<std::mutex> hold(handlesLock);
        erased = openHandles.erase(handle);
    }
    internal::trace("SmsClose handle=%u%s", static_cast<unsigned>(handle),
                    erased ? "" : " (not open)");
    return erased ? S_OK : E_INVALIDARG;
}
