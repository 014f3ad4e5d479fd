#!/usr/bin/python3
# A stand-in for ModemManager (org.freedesktop.ModemManager1) and callaudiod
# (org.mobian_project.CallAudio) on a private D-Bus, for the tests of the platform's
# ModemManager backend. It implements the interfaces the backend uses, with the types
# and the behaviour ModemManager 1.20 documents: the Manager object with its object
# manager, one modem with Modem, Messaging, Voice and Location, Sms objects (Create, Send:
# STORED -> SENDING -> SENT, or an error and STORED again), Call objects (RINGING_IN,
# Accept -> ACTIVE, TERMINATED), and the Location property carrying NMEA traces.
#
# The test drives it with one command per line on stdin and reads what the program did
# as one line per event on stdout ("ready", "sent <number> <class> <text>", ...).
#
# Usage: fake_modemmanager.py [--no-callaudio]   (DBUS_SYSTEM_BUS_ADDRESS and
# DBUS_SESSION_BUS_ADDRESS name the private bus; both services go on the first.)
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

MM = "org.freedesktop.ModemManager1"
MM_PATH = "/org/freedesktop/ModemManager1"
MODEM = MM + ".Modem"
MESSAGING = MODEM + ".Messaging"
VOICE = MODEM + ".Voice"
LOCATION = MODEM + ".Location"
SMS = MM + ".Sms"
CALL = MM + ".Call"
PROPS = "org.freedesktop.DBus.Properties"
OM = "org.freedesktop.DBus.ObjectManager"
CA = "org.mobian_project.CallAudio"

SMS_STORED, SMS_RECEIVING, SMS_RECEIVED, SMS_SENDING, SMS_SENT = 1, 2, 3, 4, 5
CALL_RINGING_IN, CALL_ACTIVE, CALL_TERMINATED = 3, 4, 7
STATE_LOCKED, STATE_ENABLED, STATE_REGISTERED = 2, 6, 8
LOCK_NONE, LOCK_SIM_PIN = 1, 2
SOURCE_NMEA = 4
STEP_MS = 50  # between the steps of a send, a received message, a call


def say(line):
    print(line, flush=True)


class Exported(dbus.service.Object):
    """An object with properties: Get, GetAll and PropertiesChanged."""

    def __init__(self, bus, path, props):
        super().__init__(bus, path)
        self.path = path
        self.props = props  # interface -> {name: typed value}

    def change(self, interface, name, value):
        self.props[interface][name] = value
        self.PropertiesChanged(interface, {name: value}, dbus.Array([], signature="s"))

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.props[interface][name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return dbus.Dictionary(self.props.get(interface, {}), signature="sv")

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass


class Sms(Exported):
    def __init__(self, bus, path, fake, number, text, state, smsc="", sms_class=-1):
        super().__init__(bus, path, {SMS: {
            "State": dbus.UInt32(state), "PduType": dbus.UInt32(0),
            "Number": dbus.String(number), "Text": dbus.String(text),
            "SMSC": dbus.String(smsc), "Class": dbus.Int32(sms_class),
            "DeliveryReportRequest": dbus.Boolean(False),
            "MessageReference": dbus.UInt32(0), "Storage": dbus.UInt32(0),
            "Timestamp": dbus.String(""),
        }})
        self.fake = fake

    @dbus.service.method(SMS, in_signature="", out_signature="",
                         async_callbacks=("reply", "error"))
    def Send(self, reply, error):
        p = self.props[SMS]
        outcome = self.fake.send_outcomes.pop(0) if self.fake.send_outcomes else "ok"
        self.change(SMS, "State", dbus.UInt32(SMS_SENDING))

        def done():
            if outcome == "ok":
                self.change(SMS, "State", dbus.UInt32(SMS_SENT))
                say("sent %s %d %s" % (p["Number"], p["Class"], p["Text"]))
                reply()
            elif outcome == "hang":
                say("send hangs %s" % p["Number"])
            else:
                self.change(SMS, "State", dbus.UInt32(SMS_STORED))
                say("failed %s" % p["Number"])
                error(dbus.DBusException("Network failure",
                                         name=MM + ".Error.MessageError.NetworkFailure"))
            return False

        GLib.timeout_add(STEP_MS, done)


class Call(Exported):
    def __init__(self, bus, path, fake):
        super().__init__(bus, path, {CALL: {
            "State": dbus.Int32(CALL_RINGING_IN), "StateReason": dbus.Int32(2),
            "Direction": dbus.Int32(1), "Number": dbus.String(""),
            "Multiparty": dbus.Boolean(False), "AudioPort": dbus.String(""),
        }})
        self.fake = fake

    def set_state(self, new, reason):
        old = self.props[CALL]["State"]
        self.change(CALL, "State", dbus.Int32(new))
        self.change(CALL, "StateReason", dbus.Int32(reason))
        self.StateChanged(old, new, dbus.UInt32(reason))

    @dbus.service.method(CALL, in_signature="", out_signature="")
    def Accept(self):
        if self.props[CALL]["State"] != CALL_RINGING_IN:
            raise dbus.DBusException("Not ringing", name=MM + ".Error.Core.WrongState")
        self.set_state(CALL_ACTIVE, 3)
        say("accepted %s" % self.props[CALL]["Number"])

    @dbus.service.method(CALL, in_signature="", out_signature="")
    def Hangup(self):
        self.set_state(CALL_TERMINATED, 4)
        say("hung up")

    @dbus.service.signal(CALL, signature="iiu")
    def StateChanged(self, old, new, reason):
        pass


class Modem(Exported):
    def __init__(self, bus, path, fake, state, lock):
        super().__init__(bus, path, {
            MODEM: {
                "State": dbus.Int32(state), "UnlockRequired": dbus.UInt32(lock),
                "StateFailedReason": dbus.UInt32(0), "Manufacturer": dbus.String("QUECTEL"),
                "Model": dbus.String("EG25"), "EquipmentIdentifier": dbus.String("86000000"),
                "PrimaryPort": dbus.String("cdc-wdm0"), "PowerState": dbus.UInt32(3),
                "Sim": dbus.ObjectPath("/"),
            },
            MESSAGING: {"Messages": dbus.Array([], signature="o"),
                        "SupportedStorages": dbus.Array([dbus.UInt32(2)], signature="u"),
                        "DefaultStorage": dbus.UInt32(2)},
            VOICE: {"Calls": dbus.Array([], signature="o"), "EmergencyOnly": dbus.Boolean(False)},
            LOCATION: {"Capabilities": dbus.UInt32(SOURCE_NMEA | 2), "Enabled": dbus.UInt32(0),
                       "SignalsLocation": dbus.Boolean(False),
                       "Location": dbus.Dictionary({}, signature="uv"),
                       "GpsRefreshRate": dbus.UInt32(30), "SupportedAssistanceData": dbus.UInt32(0),
                       "SuplServer": dbus.String(""),
                       "AssistanceDataServers": dbus.Array([], signature="s")},
        })
        self.fake = fake
        self.traces = {}  # NMEA sentence type -> latest trace, as ModemManager keeps them

    def set_state(self, new):
        old = self.props[MODEM]["State"]
        self.change(MODEM, "State", dbus.Int32(new))
        self.StateChanged(old, new, dbus.UInt32(0))

    @dbus.service.signal(MODEM, signature="iiu")
    def StateChanged(self, old, new, reason):
        pass

    @dbus.service.method(MODEM, in_signature="b", out_signature="")
    def Enable(self, enable):
        say("enable %d" % enable)

    # ---- Messaging
    @dbus.service.method(MESSAGING, in_signature="", out_signature="ao")
    def List(self):
        return self.props[MESSAGING]["Messages"]

    @dbus.service.method(MESSAGING, in_signature="a{sv}", out_signature="o")
    def Create(self, properties):
        if "number" not in properties or ("text" not in properties and "data" not in properties):
            raise dbus.DBusException("Missing number or text", name=MM + ".Error.Core.InvalidArgs")
        sms = self.fake.new_sms(str(properties["number"]), str(properties.get("text", "")),
                                SMS_STORED, sms_class=int(properties.get("class", -1)))
        self.Added(sms.path, False)
        return sms.path

    @dbus.service.method(MESSAGING, in_signature="o", out_signature="")
    def Delete(self, path):
        self.fake.delete_sms(str(path))
        self.Deleted(path)

    @dbus.service.signal(MESSAGING, signature="ob")
    def Added(self, path, received):
        pass

    @dbus.service.signal(MESSAGING, signature="o")
    def Deleted(self, path):
        pass

    # ---- Voice
    @dbus.service.method(VOICE, in_signature="", out_signature="ao")
    def ListCalls(self):
        return self.props[VOICE]["Calls"]

    @dbus.service.signal(VOICE, signature="o")
    def CallAdded(self, path):
        pass

    @dbus.service.signal(VOICE, signature="o")
    def CallDeleted(self, path):
        pass

    # ---- Location
    @dbus.service.method(LOCATION, in_signature="ub", out_signature="")
    def Setup(self, sources, signal_location):
        if sources & ~self.props[LOCATION]["Capabilities"]:
            raise dbus.DBusException("Unsupported", name=MM + ".Error.Core.Unsupported")
        self.change(LOCATION, "Enabled", dbus.UInt32(sources))
        self.change(LOCATION, "SignalsLocation", dbus.Boolean(signal_location))
        say("location %d %d" % (sources, signal_location))

    @dbus.service.method(LOCATION, in_signature="u", out_signature="")
    def SetGpsRefreshRate(self, rate):
        self.change(LOCATION, "GpsRefreshRate", dbus.UInt32(rate))

    @dbus.service.method(LOCATION, in_signature="", out_signature="a{uv}")
    def GetLocation(self):
        return self.location()

    def location(self):
        if not self.props[LOCATION]["Enabled"] & SOURCE_NMEA or not self.traces:
            return dbus.Dictionary({}, signature="uv")
        text = "\r\n".join(self.traces[k] for k in sorted(self.traces))
        return dbus.Dictionary({dbus.UInt32(SOURCE_NMEA): dbus.String(text)}, signature="uv")

    def nmea(self, sentence):
        self.traces[sentence.split(",")[0]] = sentence
        if self.props[LOCATION]["SignalsLocation"]:
            self.change(LOCATION, "Location", self.location())


class Manager(Exported):
    def __init__(self, bus):
        super().__init__(bus, MM_PATH, {MM: {"Version": dbus.String("1.20.4")}})

    @dbus.service.method(MM, in_signature="", out_signature="")
    def ScanDevices(self):
        pass

    @dbus.service.method(OM, in_signature="", out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        modem = self.fake.modem
        if modem is None:
            return dbus.Dictionary({}, signature="oa{sa{sv}}")
        return dbus.Dictionary({modem.path: dbus.Dictionary(modem.props, signature="sa{sv}")},
                               signature="oa{sa{sv}}")

    @dbus.service.signal(OM, signature="oa{sa{sv}}")
    def InterfacesAdded(self, path, interfaces):
        pass

    @dbus.service.signal(OM, signature="oas")
    def InterfacesRemoved(self, path, interfaces):
        pass


class CallAudio(Exported):
    def __init__(self, bus):
        super().__init__(bus, "/org/mobian_project/CallAudio", {CA: {
            "AudioMode": dbus.UInt32(0), "SpeakerState": dbus.UInt32(0),
            "MicState": dbus.UInt32(1)}})

    @dbus.service.method(CA, in_signature="u", out_signature="b")
    def SelectMode(self, mode):
        self.change(CA, "AudioMode", dbus.UInt32(mode))
        say("mode %d" % mode)
        return True

    @dbus.service.method(CA, in_signature="b", out_signature="b")
    def EnableSpeaker(self, enable):
        self.change(CA, "SpeakerState", dbus.UInt32(1 if enable else 0))
        say("speaker %d" % enable)
        return True

    @dbus.service.method(CA, in_signature="b", out_signature="b")
    def MuteMic(self, mute):
        self.change(CA, "MicState", dbus.UInt32(0 if mute else 1))
        return True


class Fake:
    def __init__(self, bus):
        self.bus = bus
        self.manager = Manager(bus)
        self.manager.fake = self
        self.modem = None
        self.modems_made = 0
        self.serial = 0
        self.messages = {}
        self.call = None
        self.send_outcomes = []

    def new_sms(self, number, text, state, smsc="", sms_class=-1):
        self.serial += 1
        sms = Sms(self.bus, "%s/SMS/%d" % (MM_PATH, self.serial), self, number, text, state,
                  smsc, sms_class)
        self.messages[sms.path] = sms
        self.modem.change(MESSAGING, "Messages", dbus.Array(list(self.messages), signature="o"))
        return sms

    def delete_sms(self, path):
        sms = self.messages.pop(path, None)
        if sms is None:
            raise dbus.DBusException("No such message", name=MM + ".Error.Core.NotFound")
        sms.remove_from_connection()
        self.modem.change(MESSAGING, "Messages", dbus.Array(list(self.messages), signature="o"))
        say("deleted %s" % sms.props[SMS]["Number"])

    # ---- Commands from the test
    def add_modem(self, state=STATE_REGISTERED, lock=LOCK_NONE):
        path = "%s/Modem/%d" % (MM_PATH, self.modems_made)
        self.modems_made += 1
        self.modem = Modem(self.bus, path, self, state, lock)
        self.manager.InterfacesAdded(path, dbus.Dictionary(self.modem.props, signature="sa{sv}"))

    def remove_modem(self):
        modem, self.modem = self.modem, None
        for sms in self.messages.values():
            sms.remove_from_connection()
        self.messages = {}
        modem.remove_from_connection()
        self.manager.InterfacesRemoved(modem.path, list(modem.props))

    def incoming_sms(self, number, text):
        # Received in two steps, as a message whose parts come one after the other.
        sms = self.new_sms(number, "", SMS_RECEIVING, smsc="+447785016005")
        self.modem.Added(sms.path, True)

        def complete():
            sms.change(SMS, "Text", dbus.String(text))
            sms.change(SMS, "State", dbus.UInt32(SMS_RECEIVED))
            return False

        GLib.timeout_add(STEP_MS, complete)

    def incoming_call(self, number):
        self.serial += 1
        call = Call(self.bus, "%s/Call/%d" % (MM_PATH, self.serial), self)
        self.call = call
        self.modem.change(VOICE, "Calls", dbus.Array([call.path], signature="o"))
        self.modem.CallAdded(call.path)
        # RING first, the caller's number with +CLIP a moment later.
        GLib.timeout_add(STEP_MS, lambda: call.change(CALL, "Number", dbus.String(number)) and False)

    def hang_up(self):
        call, self.call = self.call, None
        call.set_state(CALL_TERMINATED, 4)
        self.modem.change(VOICE, "Calls", dbus.Array([], signature="o"))
        self.modem.CallDeleted(call.path)
        call.remove_from_connection()

    def command(self, line):
        words = line.split(" ", 2)
        verb = words[0]
        if verb == "modem":  # modem [state] [lock]
            self.add_modem(int(words[1]) if len(words) > 1 else STATE_REGISTERED,
                           int(words[2]) if len(words) > 2 else LOCK_NONE)
        elif verb == "remove":
            self.remove_modem()
        elif verb == "state":
            self.modem.set_state(int(words[1]))
        elif verb == "next-send":  # ok | fail | hang
            self.send_outcomes.append(words[1])
        elif verb == "sms":  # sms <number> <text>
            self.incoming_sms(words[1], words[2] if len(words) > 2 else "")
        elif verb == "call":
            self.incoming_call(words[1] if len(words) > 1 else "")
        elif verb == "hangup":
            self.hang_up()
        elif verb == "nmea":
            self.modem.nmea(line[5:])
        elif verb == "quit":
            loop.quit()
            return
        say("done " + verb)


def read_command(channel, condition):
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    if line.strip():
        fake.command(line.rstrip("\n"))
    return True


DBusGMainLoop(set_as_default=True)
system_bus = dbus.bus.BusConnection(sys.argv[1] if len(sys.argv) > 1 and
                                    sys.argv[1].startswith("unix:") else
                                    __import__("os").environ["DBUS_SYSTEM_BUS_ADDRESS"])
fake = Fake(system_bus)
names = [dbus.service.BusName(MM, system_bus)]
if "--no-callaudio" not in sys.argv:
    callaudio = CallAudio(system_bus)
    names.append(dbus.service.BusName(CA, system_bus))
loop = GLib.MainLoop()
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, read_command)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: loop.quit() or False)
say("ready")
loop.run()
