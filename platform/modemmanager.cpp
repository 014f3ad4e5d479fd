// The modem through ModemManager's D-Bus API (libmm-glib): the first modem of the
// manager, its Messaging interface for sending and receiving texts, its Voice interface
// for incoming calls, and its Location interface as a GPS receiver on a pseudo-terminal.
// Relies on glib_loop.cpp (every call here runs on the GLib thread), callaudio.cpp,
// and ril.cpp to take the events.
//
//   Messaging.Create({"number": "+447700900123", "text": "...", "class": 3}) -> /SMS/4
//   Sms.Send()                 State STORED -> SENDING -> SENT (or an error, STORED again)
//   Messaging.Added(/SMS/5, received=true)   State RECEIVING ... RECEIVED
//   Voice.CallAdded(/Call/2)   Direction INCOMING, State RINGING_IN, Number once known
//   Call.Accept()              State ACTIVE; Call.StateChanged(.., TERMINATED, ..)
//   Location.Setup(GPS_NMEA | enabled, signal=true)  Location {4: "$GPGGA,...\r\n$GPRMC,..."}
#include "platform/modemmanager.h"

#include <fcntl.h>
#include <libmm-glib.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/callaudio.h"
#include "platform/glib_loop.h"
#include "platform/internal.h"
#include "platform/text.h"

namespace orven::radio {
// ril.cpp: takes every event of the modem (it only queues them).
void onModemEvent(const modem::Event& event);
}  // namespace orven::radio

namespace orven::modemmanager {

namespace {

using modem::Outcome;

// ---- What the user can act on: one line each on stderr, said again only after the
// condition went away and came back.

enum class Problem { none, notRunning, noModem, locked, noNetwork };

const char* problemText(Problem problem) {
    switch (problem) {
        case Problem::notRunning:
            return "ModemManager is not running: no messages or calls (start it: "
                   "systemctl start ModemManager)";
        case Problem::noModem:
            return "ModemManager has no modem: no messages or calls (is the modem switched on?)";
        case Problem::locked:
            return "the SIM is locked by a PIN: no messages or calls until it is unlocked "
                   "(mmcli -i any --pin=<PIN>)";
        case Problem::noNetwork:
            return "the modem has no network: alerts cannot be sent until it registers";
        case Problem::none: break;
    }
    return "";
}

struct IncomingCall {
    MMCall* call;
    bool numberGiven = false;  // the caller id went out
};

// Everything here belongs to the GLib thread.
struct Client {
    GDBusConnection* bus = nullptr;
    MMManager* manager = nullptr;
    MMObject* object = nullptr;  // the modem in use, referenced; null: none
    bool enableAsked = false;    // a disabled modem was asked once to enable
    Problem problem = Problem::none;
    bool problemKnown = false;
    std::vector<IncomingCall> calls;  // ringing or answered, oldest first
    std::vector<MMSms*> receiving;    // received messages not yet complete
    // The GPS terminal: the master side is written, the slave side is the port's device.
    int gpsMaster = -1;
    int gpsSlave = -1;
    std::string gpsPath;
    std::map<std::string, std::string> gpsWritten;  // sentence type -> latest trace written
};

Client& client() {
    static Client* state = new Client;  // lives as long as the GLib thread
    return *state;
}

void say(Problem problem) {
    Client& c = client();
    if (c.problemKnown && problem == c.problem) return;
    c.problem = problem;
    c.problemKnown = true;
    if (problem == Problem::none) {
        internal::trace("modemmanager: ready");
        return;
    }
    std::fprintf(stderr, "orven: %s\n", problemText(problem));
    internal::trace("modemmanager: %s", problemText(problem));
}

MMModem* currentModem() {
    Client& c = client();
    return c.object == nullptr ? nullptr : mm_object_peek_modem(c.object);
}

Problem assess() {
    Client& c = client();
    if (c.manager == nullptr) return Problem::notRunning;
    gchar* owner =
        g_dbus_object_manager_client_get_name_owner(G_DBUS_OBJECT_MANAGER_CLIENT(c.manager));
    bool running = owner != nullptr;
    g_free(owner);
    if (!running) return Problem::notRunning;
    MMModem* modem = currentModem();
    if (modem == nullptr) return Problem::noModem;
    MMModemLock lock = mm_modem_get_unlock_required(modem);
    MMModemState state = mm_modem_get_state(modem);
    if (state == MM_MODEM_STATE_LOCKED ||
        (lock != MM_MODEM_LOCK_NONE && lock != MM_MODEM_LOCK_UNKNOWN))
        return Problem::locked;
    if (state < MM_MODEM_STATE_REGISTERED) return Problem::noNetwork;
    return Problem::none;
}

void event(modem::Event::Kind kind, std::u16string number = {}) {
    modem::Event e{kind, {}, std::move(number)};
    radio::onModemEvent(e);
}

// ---- The GPS terminal

void gpsHangUp() {
    Client& c = client();
    if (c.gpsMaster < 0) return;
    close(c.gpsMaster);
    close(c.gpsSlave);
    c.gpsMaster = c.gpsSlave = -1;
    c.gpsWritten.clear();
    internal::trace("modemmanager: GPS terminal %s hung up", c.gpsPath.c_str());
    c.gpsPath.clear();
}

// ModemManager keeps the latest trace of each sentence type and signals them all at
// every update; only those that changed are new.
void onLocation(MMModemLocation* location, GParamSpec*, gpointer) {
    Client& c = client();
    if (c.gpsMaster < 0) return;
    MMLocationGpsNmea* nmea = mm_modem_location_get_signaled_gps_nmea(location);
    if (nmea == nullptr) return;
    gchar** traces = mm_location_gps_nmea_get_traces(nmea);
    for (gchar** trace = traces; trace != nullptr && *trace != nullptr; ++trace) {
        std::string sentence = *trace;
        std::string type = sentence.substr(0, sentence.find(','));
        if (c.gpsWritten[type] == sentence) continue;
        c.gpsWritten[type] = sentence;
        sentence += "\r\n";
        // Nobody reading: the terminal's buffer fills and the sentences are dropped, as
        // on a receiver's line that nobody listens to.
        ssize_t written = write(c.gpsMaster, sentence.data(), sentence.size());
        (void)written;
    }
    g_strfreev(traces);
    g_object_unref(nmea);
}

bool openGpsTerminal(std::string* why) {
    Client& c = client();
    char name[128] = {};
    if (openpty(&c.gpsMaster, &c.gpsSlave, name, nullptr, nullptr) != 0) {
        *why = "no pseudo-terminal for the modem's GPS";
        return false;
    }
    termios raw{};
    tcgetattr(c.gpsSlave, &raw);
    cfmakeraw(&raw);
    tcsetattr(c.gpsSlave, TCSANOW, &raw);
    fcntl(c.gpsMaster, F_SETFL, fcntl(c.gpsMaster, F_GETFL) | O_NONBLOCK);
    fcntl(c.gpsMaster, F_SETFD, FD_CLOEXEC);
    fcntl(c.gpsSlave, F_SETFD, FD_CLOEXEC);
    c.gpsPath = name;
    return true;
}

struct GpsRequest {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    std::string path;
    std::string why;
    void finish(const std::string& p, const std::string& w) {
        std::lock_guard<std::mutex> hold(lock);
        path = p;
        why = w;
        finished = true;
        done.notify_all();
    }
};

void onLocationSetUp(GObject* source, GAsyncResult* result, gpointer data) {
    auto request = std::unique_ptr<std::shared_ptr<GpsRequest>>(
        static_cast<std::shared_ptr<GpsRequest>*>(data));
    GError* error = nullptr;
    auto* location = MM_MODEM_LOCATION(source);
    Client& c = client();
    if (!mm_modem_location_setup_finish(location, result, &error)) {
        std::string why = std::string("the modem's GPS cannot be enabled: ") + error->message;
        g_error_free(error);
        gpsHangUp();
        (*request)->finish("", why);
        return;
    }
    if (c.gpsMaster < 0) {  // the modem went away meanwhile
        (*request)->finish("", "the modem went away");
        return;
    }
    g_signal_connect(location, "notify::location", G_CALLBACK(onLocation), nullptr);
    internal::trace("modemmanager: GPS NMEA on %s", c.gpsPath.c_str());
    (*request)->finish(c.gpsPath, "");
    onLocation(location, nullptr, nullptr);
}

void startGps(const std::shared_ptr<GpsRequest>& request) {
    Client& c = client();
    MMModemLocation* location = c.object ? mm_object_peek_modem_location(c.object) : nullptr;
    if (location == nullptr ||
        !(mm_modem_location_get_capabilities(location) & MM_MODEM_LOCATION_SOURCE_GPS_NMEA)) {
        request->finish("", c.object ? "the modem has no GPS" : problemText(assess()));
        return;
    }
    if (c.gpsMaster >= 0) {
        request->finish(c.gpsPath, "");
        return;
    }
    std::string why;
    if (!openGpsTerminal(&why)) {
        request->finish("", why);
        return;
    }
    // Every sentence as it comes, not one update every 30 s (ModemManager's default).
    mm_modem_location_set_gps_refresh_rate(location, 0, nullptr, nullptr, nullptr);
    auto sources = static_cast<MMModemLocationSource>(mm_modem_location_get_enabled(location) |
                                                      MM_MODEM_LOCATION_SOURCE_GPS_NMEA);
    mm_modem_location_setup(location, sources, TRUE, nullptr, onLocationSetUp,
                            new std::shared_ptr<GpsRequest>(request));
}

// ---- Incoming messages

void deliverMessage(MMSms* sms) {
    modem::Event e{modem::Event::Kind::text, {}, fromUtf8(mm_sms_get_number(sms) ?: "")};
    e.text = fromUtf8(mm_sms_get_text(sms) ?: "");
    e.centre = fromUtf8(mm_sms_get_smsc(sms) ?: "");
    internal::trace("modemmanager: message %s from %s", mm_sms_get_path(sms),
                    mm_sms_get_number(sms) ?: "");
    radio::onModemEvent(e);
}

// A message whose parts are still coming is RECEIVING; it is reported once RECEIVED.
void onMessageState(MMSms* sms, GParamSpec*, gpointer) {
    if (mm_sms_get_state(sms) != MM_SMS_STATE_RECEIVED) return;
    Client& c = client();
    std::erase(c.receiving, sms);
    g_signal_handlers_disconnect_by_func(sms, reinterpret_cast<gpointer>(onMessageState), nullptr);
    deliverMessage(sms);
    g_object_unref(sms);
}

void onMessageProxy(GObject* source, GAsyncResult* result, gpointer) {
    GError* error = nullptr;
    GObject* object = g_async_initable_new_finish(G_ASYNC_INITABLE(source), result, &error);
    if (object == nullptr) {
        internal::trace("modemmanager: a received message cannot be read: %s", error->message);
        g_error_free(error);
        return;
    }
    MMSms* sms = MM_SMS(object);
    client().receiving.push_back(sms);
    g_signal_connect(sms, "notify::state", G_CALLBACK(onMessageState), nullptr);
    onMessageState(sms, nullptr, nullptr);
}

void onMessageAdded(MMModemMessaging*, const gchar* path, gboolean received, gpointer) {
    if (!received) return;
    g_async_initable_new_async(MM_TYPE_SMS, G_PRIORITY_DEFAULT, nullptr, onMessageProxy, nullptr,
                               "g-flags", G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START, "g-name",
                               MM_DBUS_SERVICE, "g-connection", client().bus, "g-object-path", path,
                               "g-interface-name", MM_DBUS_INTERFACE_SMS, nullptr);
}

// ---- Incoming calls

IncomingCall* findCall(MMCall* call) {
    for (IncomingCall& known : client().calls)
        if (known.call == call) return &known;
    return nullptr;
}

void forgetCall(MMCall* call, bool ended) {
    Client& c = client();
    IncomingCall* known = findCall(call);
    if (known == nullptr) return;
    g_signal_handlers_disconnect_matched(call, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, &c);
    std::erase_if(c.calls, [&](const IncomingCall& x) { return x.call == call; });
    g_object_unref(call);
    if (ended) event(modem::Event::Kind::callEnded);
    if (c.calls.empty()) callaudio::selectCallMode(false);
}

// The number comes with the caller id, often a moment after the call itself.
void onCallNumber(MMCall* call, GParamSpec*, gpointer) {
    IncomingCall* known = findCall(call);
    const gchar* number = mm_call_get_number(call);
    if (known == nullptr || known->numberGiven || number == nullptr || *number == 0) return;
    known->numberGiven = true;
    event(modem::Event::Kind::callerId, fromUtf8(number));
}

void onCallState(MMCall* call, gint, gint state, guint, gpointer) {
    if (state == MM_CALL_STATE_TERMINATED) forgetCall(call, true);
}

void onCallProxy(GObject* source, GAsyncResult* result, gpointer) {
    GError* error = nullptr;
    GObject* object = g_async_initable_new_finish(G_ASYNC_INITABLE(source), result, &error);
    if (object == nullptr) {
        internal::trace("modemmanager: a call cannot be read: %s", error->message);
        g_error_free(error);
        return;
    }
    MMCall* call = MM_CALL(object);
    if (mm_call_get_direction(call) != MM_CALL_DIRECTION_INCOMING ||
        mm_call_get_state(call) != MM_CALL_STATE_RINGING_IN) {
        g_object_unref(call);
        return;
    }
    Client& c = client();
    c.calls.push_back({call});
    internal::trace("modemmanager: call %s rings", mm_call_get_path(call));
    g_signal_connect(call, "notify::number", G_CALLBACK(onCallNumber), &c);
    g_signal_connect(call, "state-changed", G_CALLBACK(onCallState), &c);
    event(modem::Event::Kind::ring);
    onCallNumber(call, nullptr, nullptr);
}

void onCallAdded(MMModemVoice*, const gchar* path, gpointer) {
    g_async_initable_new_async(MM_TYPE_CALL, G_PRIORITY_DEFAULT, nullptr, onCallProxy, nullptr,
                               "g-flags", G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START, "g-name",
                               MM_DBUS_SERVICE, "g-connection", client().bus, "g-object-path", path,
                               "g-interface-name", MM_DBUS_INTERFACE_CALL, nullptr);
}

void onCallDeleted(MMModemVoice*, const gchar* path, gpointer) {
    for (IncomingCall& known : client().calls)
        if (g_strcmp0(mm_call_get_path(known.call), path) == 0) return forgetCall(known.call, true);
}

// ---- The modem

void onModemState(MMModem* modem, GParamSpec*, gpointer) {
    Client& c = client();
    if (mm_modem_get_state(modem) == MM_MODEM_STATE_DISABLED && !c.enableAsked) {
        // Switched off by its radio setting: without it there is no alarm.
        c.enableAsked = true;
        internal::trace("modemmanager: enabling the modem");
        mm_modem_enable(modem, nullptr, nullptr, nullptr);
    }
    say(assess());
}

void takeModem(MMObject* object) {
    Client& c = client();
    MMModem* modem = mm_object_peek_modem(object);
    if (c.object != nullptr || modem == nullptr) return;
    c.object = MM_OBJECT(g_object_ref(object));
    c.enableAsked = false;
    internal::trace("modemmanager: modem %s", mm_object_get_path(object));
    g_signal_connect(modem, "notify::state", G_CALLBACK(onModemState), &c);
    g_signal_connect(modem, "notify::unlock-required", G_CALLBACK(onModemState), &c);
    if (MMModemMessaging* messaging = mm_object_peek_modem_messaging(object))
        g_signal_connect(messaging, "added", G_CALLBACK(onMessageAdded), &c);
    if (MMModemVoice* voice = mm_object_peek_modem_voice(object)) {
        g_signal_connect(voice, "call-added", G_CALLBACK(onCallAdded), &c);
        g_signal_connect(voice, "call-deleted", G_CALLBACK(onCallDeleted), &c);
    }
    onModemState(modem, nullptr, nullptr);
}

void disconnectFrom(gpointer instance) {
    if (instance != nullptr)
        g_signal_handlers_disconnect_matched(instance, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                             &client());
}

void dropModem() {
    Client& c = client();
    if (c.object == nullptr) return;
    internal::trace("modemmanager: modem %s went away", mm_object_get_path(c.object));
    disconnectFrom(mm_object_peek_modem(c.object));
    disconnectFrom(mm_object_peek_modem_messaging(c.object));
    disconnectFrom(mm_object_peek_modem_voice(c.object));
    if (MMModemLocation* location = mm_object_peek_modem_location(c.object))
        g_signal_handlers_disconnect_by_func(location, reinterpret_cast<gpointer>(onLocation),
                                             nullptr);
    while (!c.calls.empty()) forgetCall(c.calls.front().call, false);
    for (MMSms* sms : c.receiving) {
        g_signal_handlers_disconnect_by_func(sms, reinterpret_cast<gpointer>(onMessageState),
                                             nullptr);
        g_object_unref(sms);
    }
    c.receiving.clear();
    gpsHangUp();
    g_object_unref(c.object);
    c.object = nullptr;
    event(modem::Event::Kind::lost);
}

// The first modem the manager lists.
void chooseModem() {
    Client& c = client();
    if (c.object != nullptr) return;
    GList* objects = g_dbus_object_manager_get_objects(G_DBUS_OBJECT_MANAGER(c.manager));
    for (GList* o = objects; o != nullptr && c.object == nullptr; o = o->next)
        takeModem(MM_OBJECT(o->data));
    g_list_free_full(objects, g_object_unref);
    say(assess());
}

void onObjectAdded(GDBusObjectManager*, GDBusObject*, gpointer) {
    chooseModem();
}

void onObjectRemoved(GDBusObjectManager*, GDBusObject* object, gpointer) {
    Client& c = client();
    if (c.object != nullptr && G_OBJECT(object) == G_OBJECT(c.object)) {
        dropModem();
        chooseModem();
    }
}

void onNameOwner(GObject*, GParamSpec*, gpointer) {
    if (assess() == Problem::notRunning) dropModem();
    chooseModem();
}

void connectToManager() {
    Client& c = client();
    GError* error = nullptr;
    c.bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    // GIO ends the process with SIGTERM when a bus connection closes; an alarm must
    // outlive a restarted bus (it then says ModemManager is not running).
    if (c.bus != nullptr) g_dbus_connection_set_exit_on_close(c.bus, FALSE);
    if (c.bus != nullptr)
        c.manager = mm_manager_new_sync(c.bus, G_DBUS_OBJECT_MANAGER_CLIENT_FLAGS_DO_NOT_AUTO_START,
                                        nullptr, &error);
    if (c.manager == nullptr) {
        internal::trace("modemmanager: %s", error ? error->message : "no manager");
        if (error) g_error_free(error);
        say(Problem::notRunning);
        return;
    }
    g_signal_connect(c.manager, "notify::name-owner", G_CALLBACK(onNameOwner), nullptr);
    g_signal_connect(c.manager, "object-added", G_CALLBACK(onObjectAdded), nullptr);
    g_signal_connect(c.manager, "object-removed", G_CALLBACK(onObjectRemoved), nullptr);
    chooseModem();
}

// ---- Sending

struct Send {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    modem::Result result;
    GCancellable* cancellable = g_cancellable_new();  // the caller gave up
    MMSms* sms = nullptr;                             // GLib thread only
    ~Send() { g_object_unref(cancellable); }

    void finish(Outcome outcome, const std::string& line) {
        std::lock_guard<std::mutex> hold(lock);
        if (finished) return;
        result.outcome = outcome;
        result.finalLine = line;
        if (outcome == Outcome::ok) result.messageReference = 0;
        finished = true;
        done.notify_all();
    }
};
using SendPtr = std::shared_ptr<Send>;

Outcome outcomeOf(const GError* error) {
    return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
                   g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)
               ? Outcome::timedOut
               : Outcome::refused;
}

// The message is ours: once sent or failed it leaves ModemManager's list.
void deleteSent(const SendPtr& send) {
    Client& c = client();
    MMModemMessaging* messaging = c.object ? mm_object_peek_modem_messaging(c.object) : nullptr;
    if (send->sms == nullptr) return;
    if (messaging != nullptr)
        mm_modem_messaging_delete(messaging, mm_sms_get_path(send->sms), nullptr, nullptr, nullptr);
    g_object_unref(send->sms);
    send->sms = nullptr;
}

// Sent means ModemManager says SENT: the state is read back from the service itself
// rather than from the proxy's cache, whose update may trail the method's reply.
void onStateRead(GObject* source, GAsyncResult* result, gpointer data) {
    SendPtr send = *static_cast<SendPtr*>(data);
    delete static_cast<SendPtr*>(data);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    guint32 state = MM_SMS_STATE_UNKNOWN;
    if (reply != nullptr) {
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) state = g_variant_get_uint32(value);
        g_variant_unref(value);
        g_variant_unref(reply);
    } else {
        g_error_free(error);
    }
    internal::trace("modemmanager: %s state %u", mm_sms_get_path(send->sms), state);
    if (state == MM_SMS_STATE_SENT)
        send->finish(Outcome::ok, "SENT");
    else
        send->finish(Outcome::refused, "not sent");
    deleteSent(send);
}

void onSent(GObject* source, GAsyncResult* result, gpointer data) {
    SendPtr* held = static_cast<SendPtr*>(data);
    SendPtr send = *held;
    GError* error = nullptr;
    if (!mm_sms_send_finish(MM_SMS(source), result, &error)) {
        internal::trace("modemmanager: send failed: %s", error->message);
        send->finish(outcomeOf(error), error->message);
        g_error_free(error);
        delete held;
        deleteSent(send);
        return;
    }
    g_dbus_connection_call(client().bus, MM_DBUS_SERVICE, mm_sms_get_path(send->sms),
                           "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", MM_DBUS_INTERFACE_SMS, "State"),
                           G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, onStateRead,
                           held);
}

void onCreated(GObject* source, GAsyncResult* result, gpointer data) {
    SendPtr* held = static_cast<SendPtr*>(data);
    SendPtr send = *held;
    GError* error = nullptr;
    send->sms = mm_modem_messaging_create_finish(MM_MODEM_MESSAGING(source), result, &error);
    if (send->sms == nullptr) {
        internal::trace("modemmanager: the message cannot be made: %s", error->message);
        send->finish(outcomeOf(error), error->message);
        g_error_free(error);
        delete held;
        return;
    }
    mm_sms_send(send->sms, send->cancellable, onSent, held);
}

void beginSend(const SendPtr& send, const std::string& number, const std::string& text,
               int messageClass, bool statusReport) {
    Client& c = client();
    Problem problem = assess();
    say(problem);
    MMModemMessaging* messaging = c.object ? mm_object_peek_modem_messaging(c.object) : nullptr;
    if (problem != Problem::none || messaging == nullptr) {
        send->finish(Outcome::noModem, problem != Problem::none ? problemText(problem)
                                                                : "the modem has no messaging");
        return;
    }
    MMSmsProperties* properties = mm_sms_properties_new();
    mm_sms_properties_set_number(properties, number.c_str());
    mm_sms_properties_set_text(properties, text.c_str());
    if (messageClass >= 0 && messageClass <= 3)
        mm_sms_properties_set_class(properties, messageClass);
    if (statusReport) mm_sms_properties_set_delivery_report_request(properties, TRUE);
    mm_modem_messaging_create(messaging, properties, send->cancellable, onCreated,
                              new SendPtr(send));
    g_object_unref(properties);
}

// ---- Answering

void onAccepted(GObject* source, GAsyncResult* result, gpointer data) {
    auto done = std::unique_ptr<std::function<void(const modem::Result&)>>(
        static_cast<std::function<void(const modem::Result&)>*>(data));
    GError* error = nullptr;
    modem::Result r;
    if (mm_call_accept_finish(MM_CALL(source), result, &error)) {
        r.outcome = Outcome::ok;
        r.finalLine = "OK";
        internal::trace("modemmanager: call %s accepted", mm_call_get_path(MM_CALL(source)));
        callaudio::selectCallMode(true);
    } else {
        r.outcome = Outcome::refused;
        r.finalLine = "ERROR";
        internal::trace("modemmanager: accepting failed: %s", error->message);
        g_error_free(error);
    }
    (*done)(r);
}

}  // namespace

bool isPortName(const std::string& path) {
    return path == portName;
}

void start() {
    static std::once_flag once;
    std::call_once(once, [] { glib::invoke(connectToManager); });
}

modem::Result sendText(const std::u16string& number, const std::u16string& text, int messageClass,
                       bool statusReport) {
    start();
    auto send = std::make_shared<Send>();
    std::string numberUtf8 = toUtf8(number), textUtf8 = toUtf8(text);
    glib::invoke([=] { beginSend(send, numberUtf8, textUtf8, messageClass, statusReport); });
    modem::Timeouts t = modem::timeouts();
    std::unique_lock<std::mutex> hold(send->lock);
    if (!send->done.wait_for(hold, std::chrono::milliseconds(uint64_t{t.submit} + t.command),
                             [&] { return send->finished; })) {
        hold.unlock();
        g_cancellable_cancel(send->cancellable);  // thread-safe; the chain ends timedOut
        hold.lock();
        send->done.wait(hold, [&] { return send->finished; });
    }
    return send->result;
}

void answer(std::function<void(const modem::Result&)> done) {
    start();
    auto held = new std::function<void(const modem::Result&)>(std::move(done));
    glib::invoke([held] {
        Client& c = client();
        for (auto it = c.calls.rbegin(); it != c.calls.rend(); ++it) {
            if (mm_call_get_state(it->call) != MM_CALL_STATE_RINGING_IN) continue;
            mm_call_accept(it->call, nullptr, onAccepted, held);
            return;
        }
        internal::trace("modemmanager: no call rings");
        (*held)(modem::Result{Outcome::refused, "NO CARRIER", {}, -1});
        delete held;
    });
}

void stopForTests() {
    struct Done {
        std::mutex lock;
        std::condition_variable reached;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    glib::invoke([done] {
        Client& c = client();
        if (c.manager != nullptr) {
            g_signal_handlers_disconnect_matched(c.manager, G_SIGNAL_MATCH_DATA, 0, 0, nullptr,
                                                 nullptr, nullptr);
            dropModem();
            g_object_unref(c.manager);
            c.manager = nullptr;
        }
        std::lock_guard<std::mutex> hold(done->lock);
        done->done = true;
        done->reached.notify_all();
    });
    std::unique_lock<std::mutex> hold(done->lock);
    done->reached.wait(hold, [&] { return done->done; });
}

void loudspeakerOn() {
    glib::invoke([] { callaudio::enableSpeaker(); });
}

std::string gpsDevicePath(std::string* why) {
    start();
    auto request = std::make_shared<GpsRequest>();
    glib::invoke([request] { startGps(request); });
    std::unique_lock<std::mutex> hold(request->lock);
    if (!request->done.wait_for(hold, std::chrono::milliseconds(modem::timeouts().command * 2),
                                [&] { return request->finished; })) {
        if (why != nullptr) *why = "ModemManager did not enable the GPS in time";
        return "";
    }
    if (why != nullptr) *why = request->why;
    return request->path;
}

}  // namespace orven::modemmanager
