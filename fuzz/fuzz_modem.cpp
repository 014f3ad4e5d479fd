// libFuzzer target for what the modem sends the phone: the line splitter and the
// classification of responses and unsolicited results (+CMT with its PDU line, +CMTI,
// RING, +CLIP, restart markers, the SMS prompt), and the PDU decoder fed the input both
// as octets and as the hex text of a PDU line. A PDU that decodes as text must survive
// our own encoder and decoder unchanged; the sanitizers catch any access out of bounds.
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DORVEN_FUZZ=ON && cmake --build build-fuzz
//   --target fuzz_modem && build-fuzz/fuzz_modem -max_total_time=30 fuzz/seeds/fuzz_modem
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/modem.h"
#include "platform/pdu.h"

namespace {

using namespace orven;

void require(bool condition) {
    if (!condition) std::abort();
}

// Text read from a PDU goes out again through the encoder and comes back the same.
void roundTrip(const pdu::Message& m) {
    if (m.alphabet == pdu::Alphabet::eightBit || m.text.empty()) return;
    require(m.text.size() <= 160);
    pdu::SubmitOptions options;
    options.alphabet = m.alphabet;
    options.messageClass = m.messageClass;
    std::vector<pdu::Part> parts;
    if (!pdu::encodeSubmit(u"+1234", m.text, options, parts)) {
        require(m.alphabet == pdu::Alphabet::gsm7 && !pdu::gsmEncodable(m.text));
        return;
    }
    std::u16string joined;
    for (const pdu::Part& part : parts) {
        pdu::Message back;
        require(pdu::decode(part.hex, back));
        require(back.number == u"+1234");
        require(static_cast<size_t>(part.tpduLength) == back.tpduLength);
        joined += back.text;
    }
    require(joined == m.text);
}

void decodeAll(const uint8_t* data, size_t size) {
    pdu::Message m;
    if (pdu::decodeBytes(data, size, m)) {
        require(m.tpduLength < size);
        require(m.number.size() <= 21);  // 20 digits and a plus
        require(m.header.size() <= 140);
        roundTrip(m);
    }
    std::string hex(reinterpret_cast<const char*>(data), size);
    if (pdu::decode(hex, m)) roundTrip(m);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    modem::parseForFuzzing(data, size);
    decodeAll(data, size);
    return 0;
}
