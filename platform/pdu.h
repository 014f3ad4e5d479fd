// SMS PDUs as the AT interface carries them in PDU mode (AT+CMGF=0): hex text that
// starts with the service-centre field ("00" = the SIM's own centre), then one TPDU.
//
// Encoding builds SMS-SUBMITs (what the phone sends) and SMS-DELIVERs (what the
// simulated network hands to the phone); decoding reads all three kinds a modem shows
// (SUBMIT, DELIVER, STATUS-REPORT) and rejects a PDU that is cut short or whose lengths
// disagree. Alphabets: GSM 7-bit (default alphabet and its extension table), 8-bit
// data, UCS-2 (UTF-16 big-endian code units). Long texts become concatenated messages
// with a user data header.
//
// Used by the SMS library and the radio interface (modem.cpp) and by the simulated
// modem. Pure functions; no I/O.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orven::pdu {

enum class Kind { deliver, submit, statusReport };
enum class Alphabet { gsm7, eightBit, ucs2 };

constexpr int noClass = -1;

// The concatenation element of a user data header (IEI 00 or 08).
struct Concat {
    bool present = false;
    bool sixteenBitReference = false;
    unsigned reference = 0;
    unsigned total = 0;
    unsigned sequence = 0;  // 1-based
};

struct Message {
    Kind kind = Kind::deliver;
    std::u16string smsc;     // "+" and digits for an international centre; empty for "00"
    std::u16string number;   // DA of a submit, OA of a deliver, RA of a status report
    uint8_t numberType = 0;  // type-of-address octet of that number
    uint8_t firstOctet = 0;
    uint8_t messageReference = 0;  // submit and status report only
    uint8_t protocolId = 0;
    uint8_t dcs = 0;  // TP-DCS as received (0 for a status report)
    Alphabet alphabet = Alphabet::gsm7;
    int messageClass = noClass;          // 0 to 3, or noClass
    bool statusReportRequested = false;  // TP-SRR of a submit
    bool validityPresent = false;
    uint8_t timestamp[7] = {};    // TP-SCTS of a deliver, semi-octets as received
    uint8_t status = 0;           // TP-ST of a status report
    std::vector<uint8_t> header;  // the whole user data header with its length octet
    Concat concat;
    std::u16string text;        // GSM 7-bit and UCS-2 user data after the header
    std::vector<uint8_t> data;  // 8-bit user data after the header
    size_t tpduLength = 0;      // octets after the service-centre field
};

// Reads one PDU, service-centre field first. Returns false (with a one-line reason in
// *error when given) for anything that is not a whole, consistent PDU.
bool decode(std::string_view hex, Message& out, std::string* error = nullptr);
bool decodeBytes(const uint8_t* bytes, size_t size, Message& out, std::string* error = nullptr);

// ---- Alphabets
// Every character has a GSM 7-bit form (the default alphabet or the extension table).
bool gsmEncodable(std::u16string_view text);
// Septets the text takes in GSM 7-bit (extension characters count two).
size_t gsmSeptets(std::u16string_view text);

// ---- Message sizes
constexpr size_t gsmSingleSeptets = 160;  // one message without a header
constexpr size_t gsmPartSeptets = 153;    // one part after a 6-octet concatenation header
constexpr size_t ucs2SingleUnits = 70;    // 140 octets
constexpr size_t ucs2PartUnits = 67;      // 134 octets after the header
constexpr size_t maxParts = 255;          // the header counts parts in one octet

// Splits a text into the parts it is sent in: one part when it fits a single message,
// otherwise parts of at most 153 septets or 67 units, never cutting a surrogate pair or
// an escape from its extension character.
std::vector<std::u16string> splitText(std::u16string_view text, Alphabet alphabet);

// ---- Encoding
constexpr int noValidity = -1;

struct SubmitOptions {
    std::u16string smsc;                 // empty: the SIM's own centre ("00")
    Alphabet alphabet = Alphabet::ucs2;  // gsm7 or ucs2
    int messageClass = noClass;
    bool statusReport = false;
    uint8_t reference = 0;          // concatenation reference, the same in every part
    bool rejectDuplicates = false;  // TP-RD: the centre drops a copy of a message it holds
    // TP-VP in the relative format, 0 to 255 (0: five minutes, 167: a day, 255: 63 weeks);
    // noValidity: none, the centre keeps the message as long as it likes.
    int validity = noValidity;
};

struct Part {
    std::string hex;  // upper-case hex, service-centre field first
    int tpduLength;   // octets without the service-centre field: the n of AT+CMGS=<n>
};

// SMS-SUBMITs for text to number: "+" and digits is international (type 91), other
// numbers are sent as given (type 81). Blanks and "-()./" are dropped; digits, "*", "#"
// and a, b, c are kept. False when the number is empty, has other characters or more
// than 20 digits, when the text cannot be written in the alphabet, when it would take
// more than 255 parts, or when the validity is out of range. The message reference is
// always 0: the modem assigns the real one.
bool encodeSubmit(std::u16string_view number, std::u16string_view text,
                  const SubmitOptions& options, std::vector<Part>& parts);

struct DeliverOptions {
    std::u16string smsc = u"+447700900000";  // the sending network's centre
    Alphabet alphabet = Alphabet::ucs2;
    int messageClass = noClass;
    uint8_t reference = 0;
    uint8_t timestamp[7] = {0x42, 0x50, 0x71, 0x21, 0x43, 0x65, 0x80};  // 2024-05-17 12:34:56 +02
};

// SMS-DELIVERs from originator: a number as above, or a name of up to 11 GSM
// characters sent as an alphanumeric address (type D0).
bool encodeDeliver(std::u16string_view originator, std::u16string_view text,
                   const DeliverOptions& options, std::vector<Part>& parts);

// ---- Hex
std::string toHex(const std::vector<uint8_t>& bytes);
bool fromHex(std::string_view hex, std::vector<uint8_t>& bytes);

}  // namespace orven::pdu
