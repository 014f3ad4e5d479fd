// The emulated phone's default hardware: installDefaultHardware() for the process's entry
// point, which wires the simulators into the platform layer's hooks. Nothing here is
// written to the device registry: the simulated devices last as long as the process.
#include "sim/default_hardware.h"

#include "platform/default_hardware.h"
#include "platform/instance.h"
#include "platform/modem.h"
#include "sim/modem.h"
#include "sim/nmea_receiver.h"

namespace orven::sim {

namespace {

constexpr int partnerReplyDelayMs = 8000;  // a person reads the alert, then types

modem::DefaultModem defaultModem() {
    return {startDefaultModem(), loudspeakerCommand, "the simulated modem"};
}

}  // namespace

std::string startDefaultModem() {
    static Modem* modem = [] {
        auto* m = new Modem();  // lives as long as the process
        Partner partner;
        partner.action = Partner::Action::replyBySms;
        partner.text = u"OK, I got your message. I am coming.";
        partner.delayMs = partnerReplyDelayMs;
        m->setPartner(partner);
        return m;
    }();
    return modem->path();
}

void installDefaultModem() {
    modem::setDefaultModem(defaultModem);
}

}  // namespace orven::sim

namespace orven {

void installDefaultHardware() {
    // With no receiver mapped in the device registry, the running instance serves a
    // simulated one; a second start that only hands its request over starts none.
    instance::onBecomingInstance([] { sim::startDefaultReceiver(); });
    sim::installDefaultModem();
}

}  // namespace orven
