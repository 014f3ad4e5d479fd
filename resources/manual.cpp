// The manual page that "Help (manual)" opens: template 112 and the owner's manual it
// shows: what the alarm does, how to set it up,
// what each sound means and what to do when an alert could not be sent. One string of
// the program's string table, so that it travels inside the program and cannot go
// missing. Lines break at "\n"; the page wraps long lines to the screen's width. The
// sound numbers are the cues of common/sound_cues.h, the quoted screen texts those the
// program shows.
#include "resources/manual.h"

#include "resources/resource_ids.h"

namespace orven::resources {

const char16_t manualText[] =
    u"WHAT ORVEN DOES\n"
    u"ORVEN calls for help in a health emergency. When you start the alert, the phone "
    u"finds its GPS receiver, waits for your position and sends a text message with "
    u"your position, blood type, sex, age and name to your alert numbers. It sends it as "
    u"many times as you chose, one minute apart, until someone answers.\n"
    u"An answer is a text message or a call from one of your alert numbers. Then the "
    u"phone rings an alarm every 30 seconds so that you know help is coming; touch the "
    u"screen or press a key to silence it. If you allowed it, a call from an alert "
    u"number is answered by itself and put on the loudspeaker, so you can talk without "
    u"holding the phone.\n"
    u"\n"
    u"STARTING THE ALERT\n"
    u"- Tap \"Alert now!\" at the bottom left of the screen, or\n"
    u"- press the left soft key, or\n"
    u"- press the hardware button you assigned to ORVEN.\n"
    u"The screen says \"Begin emergency procedure immediately\" and the steps follow by "
    u"themselves. You do not need to look at the screen: a sound marks every step.\n"
    u"\n"
    u"SETTING IT UP\n"
    u"Open \"Menu\" at the bottom right of the screen.\n"
    u"1. Settings > Owner details: your first and family name, sex, age and blood type. "
    u"They go into every alert message. Press SAVE.\n"
    u"2. Settings > Alert numbers: one or two phone numbers of people who will help "
    u"you, the number of alerts to send (1 to 15) and whether a call back is answered "
    u"by itself. Without an alert number no alert can be sent. Press SAVE.\n"
    u"3. Settings > Hardware keys: choose a button of the phone that starts the alert. "
    u"Press SAVE; ORVEN closes. The first press of that button afterwards only tests it "
    u"and says that it works; from then on it starts the alert at once.\n"
    u"4. Testing > GPS Rx: press TEST. ORVEN looks for the GPS receiver and shows your "
    u"position. Do it outdoors or by a window; the first position can take a few "
    u"minutes. Nothing is sent.\n"
    u"5. Testing > Alert sending: enter your own number or a friend's and press TEST. "
    u"ORVEN sends one test message with a test position. The test ends when that number "
    u"(or an alert number) answers by message or call. Never send the test to the "
    u"emergency service number.\n"
    u"Repeat the tests now and then, and keep the phone charged.\n"
    u"\n"
    u"WHAT THE SOUNDS MEAN\n"
    u"1 - ORVEN has started and is ready.\n"
    u"11 - The alert begins.\n"
    u"2 - Looking for the GPS receiver on every port.\n"
    u"3 - Connecting the GPS receiver that worked last time.\n"
    u"4 - The GPS receiver answers.\n"
    u"5 - Waiting for your position (repeats every 30 seconds).\n"
    u"6 - Your position is found.\n"
    u"7 - An alert message is being sent.\n"
    u"8 - The alert message has been sent.\n"
    u"9 - Someone answered: help is coming (repeats every 30 seconds until you touch "
    u"the screen or press a key).\n"
    u"111 - ORVEN closes.\n"
    u"\n"
    u"WHEN AN ALERT COULD NOT BE SENT\n"
    u"\"Alert NOT sent yet - Trying again in 1 minute...\": the phone could not send the "
    u"message this time. ORVEN tries again by itself every minute. If you can, check "
    u"that the phone has signal and credit, or move to a place with better signal.\n"
    u"\"Alert could NOT be sent!\": every attempt failed and ORVEN has stopped trying. "
    u"Call for help another way: phone your helper or the emergency number yourself. "
    u"Then check the phone: signal, SIM card, credit and the alert numbers, and start "
    u"the alert again.\n"
    u"\"GPS Rx wasn't found in any serial port.\" or \"GPS Rx lost\": the phone has no "
    u"position, so no alert was sent. Check that the GPS receiver is switched on and "
    u"connected, then start the alert again.\n"
    u"\"GPS position missed\": the receiver found no position within 3 minutes, so no "
    u"alert was sent. Go outdoors or near a window and start the alert again; if that "
    u"is not possible, call for help another way.\n"
    u"\"No alert message will send!\": there is no alert number. Enter one under "
    u"Settings > Alert numbers.\n"
    u"\n"
    u"GOOD TO KNOW\n"
    u"ORVEN stays in front of other programs. \"Hide (minimize)\" in the menu puts it "
    u"in the background; its icon brings it back. \"Exit\" closes it; the hardware "
    u"button starts it again and begins the alert at once.\n"
    u"This page does not stop an alert: it goes on while you read, and the page closes "
    u"by itself when an alert starts or is answered.\n";

namespace {

constexpr DWORD text = WS_VISIBLE | SS_LEFT;
// Read-only text that scrolls with Up, Down and the bar on its right; the only control
// that takes the focus, so the keys scroll it at once.
constexpr DWORD manualStyle =
    WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY;

const DialogItem manualItems[] = {
    {u"static", headerIconControl, MAKEINTRESOURCEW(programIconResource), WS_VISIBLE | SS_ICON, 4,
     4, 20, 20},
    {u"static", titleControl, u"", text, 29, 4, 104, 12},
    {u"static", versionControl, u"", text, 29, 15, 104, 10},
    {u"static", hintControl, u"Up and Down scroll the manual.", text, 4, 26, 110, 8},
    {u"edit", manualTextControl, u"", manualStyle, 4, 36, 110, 100},
};

}  // namespace

const Dialog manualTemplate{manualDialogResource,
                            WS_POPUP | DS_SETFONT,
                            u"",
                            0,
                            0,
                            160,
                            160,
                            8,
                            u"System",
                            manualItems,
                            sizeof manualItems / sizeof manualItems[0]};

}  // namespace orven::resources
