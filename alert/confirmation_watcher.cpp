// The confirmation watcher. The radio thread registers two callbacks with the radio
// interface and sleeps for good (it only has to stay alive, and a sleep in steps would
// wake an idle phone twice a second for nothing); the interface calls onRadioNotify on
// its own notification thread. While an alert is pending, a message or a call whose
// number ends with a usable alert number or test number confirms it: the repeat send
// stops, the shell's notification
// window closes, the status says who confirmed, a call may be answered and put on the
// loudspeaker, and timer 8 tells the main window.
//
// Everything here runs on the notification thread and touches the GUI only through
// calls that are safe from any thread and never wait for it: the status text (its own
// lock), the main window's timers, its repaint and foreground, and the shell's windows.
// testMode and alertsSent are atomic words; the alert numbers are copied under the
// settings' lock, since a dialog may be changing them meanwhile.
#include "alert/confirmation_watcher.h"

#include <mutex>

#include "alert/alert_message.h"
#include "common/alert_permission.h"
#include "common/platform_facts.h"
#include "common/program.h"
#include "common/status_text.h"
#include "common/timers.h"
#include "settings/app_settings.h"

std::atomic<HRIL> rilHandle{nullptr};
std::atomic<uint32_t> confirmationCount{0};

namespace {

constexpr DWORD radioPortIndex = 1;
constexpr DWORD radioCallbackParameter = 0x55AA55AA;
constexpr DWORD answerSettleMs = 1000;  // the call is up before the loudspeaker switches
constexpr int windowTitleSize = 256;
constexpr DWORD notificationClassMask = 0x00FF0000;
constexpr DWORD notificationMask = 0xFF;
constexpr DWORD newsNotification = 1;  // RIL_NOTIFY_MESSAGE and RIL_NOTIFY_CALLERID
constexpr DWORD newerShellVersion = 5;

constexpr int ossvcsLoudspeakerQuery = 217;
constexpr int ossvcsLoudspeakerSet = 218;

// The sender of an incoming delivered message, or null for any other message.
LPCWSTR senderOf(const void* data) {
    const auto* message = static_cast<const RILMESSAGE*>(data);
    if (message->dwType != RIL_MSGTYPE_IN_DELIVER) return nullptr;
    return message->msgInDeliver.raOrigAddress.wszAddress;
}

LPCWSTR callerOf(const void* data) {
    return static_cast<const RILREMOTEPARTYINFO*>(data)->raAddress.wszAddress;
}

// The received number, cut to 99 characters without splitting a surrogate pair.
void copyReceivedNumber(LPCWSTR received, WCHAR number[receivedNumberSize]) {
    lstrcpynW(number, received, receivedNumberSize);
    int length = lstrlenW(number);
    if (length == receivedNumberSize - 1 && number[length - 1] >= 0xD800 &&
        number[length - 1] <= 0xDBFF)
        number[length - 1] = 0;
}

// Whether the received number ends with the stored one: a number stored without its
// country prefix still matches a sender shown with it, but a number that merely holds
// the stored one somewhere in its middle does not.
bool endsWith(LPCWSTR received, LPCWSTR stored) {
    const int receivedLength = lstrlenW(received);
    const int storedLength = lstrlenW(stored);
    return storedLength <= receivedLength &&
           lstrcmpW(received + receivedLength - storedLength, stored) == 0;
}

// Alert number 1, alert number 2, then the test number. Only a usable number (one the
// alerts go to) confirms: a stored number of one or two characters would otherwise end
// almost any number that calls.
bool confirmingNumber(LPCWSTR received) {
    WCHAR number1[alertNumberSize], number2[alertNumberSize], test[testNumberSize];
    copyAlertNumbers(number1, number2);
    copyTestNumber(test);
    const WCHAR* stored[] = {number1, number2, test};
    for (const WCHAR* number : stored)
        if (usableNumber(number) && endsWith(received, number)) return true;
    return false;
}

// Whether the pending alert is a test (testMode 2 or more), clearing it if so.
bool takeTestMode() {
    int32_t mode = testMode.load();
    while (mode >= 2 && !testMode.compare_exchange_weak(mode, 0)) {
    }
    return mode >= 2;
}

void switchLoudspeakerOnByOssvcs() {
    HMODULE library = LoadLibraryW(u"\\windows\\ossvcs.dll");
    if (library == nullptr) return;
    auto query = reinterpret_cast<LoudspeakerQueryProc>(
        GetProcAddressW(library, MAKEINTRESOURCEW(ossvcsLoudspeakerQuery)));
    if (query != nullptr) {
        DWORD state = 0;
        query(&state);
    }
    auto set = reinterpret_cast<LoudspeakerSetProc>(
        GetProcAddressW(library, MAKEINTRESOURCEW(ossvcsLoudspeakerSet)));
    if (set != nullptr) set(1);
    FreeLibrary(library);
}

void switchLoudspeakerOnByWaveDriver() {
    HANDLE wave =
        CreateFileW(u"WAV1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (wave == INVALID_HANDLE_VALUE) return;
    DWORD message[5] = {0, WAV_MESSAGE_LOUDSPEAKER_ON, 0, 0, 0};
    DWORD output = 0;
    DWORD returned = 0;
    DeviceIoControl(wave, IOCTL_WAV_MESSAGE, message, sizeof message, &output, sizeof output,
                    &returned, nullptr);
    CloseHandle(wave);
}

// The confirmation's status, remembered so that the alarm can show it again.
std::mutex confirmationTextLock;
WCHAR confirmationText[statusTextSize];

void showConfirmation(LPCWSTR format, LPCWSTR number) {
    std::lock_guard<std::mutex> hold(confirmationTextLock);
    wsprintfW(confirmationText, format, number);
    setStatusText(confirmationText);
}

void confirmByMessage(LPCWSTR number) {
    closeWindowByTitle(osMajorVersion >= newerShellVersion ? u"New SMS message"
                                                           : u"New text message");
    bool test = takeTestMode();
    showConfirmation(
        test ? u"Test message confirmed\nfrom: %s" : u"Emergency message confirmed\nfrom: %s",
        number);
}

// The call is answered after the status says so, and the loudspeaker switched once it
// is up.
void confirmByCall(LPCWSTR number) {
    if (isSmartphone == 0) closeWindowByTitle(u"Phone - Incoming...");
    SetForegroundWindow(withOwnedWindows(mainWindow));
    bool test = takeTestMode();
    showConfirmation(
        test ? u"Test message confirmed\nby %s" : u"Emergency message confirmed\nby %s", number);
    if (appSettings.autoAnswering == 0) return;
    // Spelling and wording as the owner has always seen them; keep them.
    showConfirmation(test ? u"Test message confirmed\nPlease speak..."
                          : u"Emergency message confirned\nPlease speak...",
                     u"");
    RIL_Answer(rilHandle.load());
    Sleep(answerSettleMs);
    if (appSettings.autoSpeakerphone == 0) return;
    if (osMajorVersion >= newerShellVersion)
        switchLoudspeakerOnByOssvcs();
    else
        switchLoudspeakerOnByWaveDriver();
}

struct TitleSearch {
    LPCWSTR title;
    HWND found;
};

BOOL CALLBACK stopAtTitle(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<TitleSearch*>(parameter);
    WCHAR title[windowTitleSize];
    GetWindowTextW(window, title, windowTitleSize);
    if (lstrcmpW(title, search->title) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

DWORD WINAPI radioThread(LPVOID) {
    HRIL handle = nullptr;
    RIL_Initialize(radioPortIndex, onRadioResult, onRadioNotify, RIL_NCLASS_ALL,
                   radioCallbackParameter, &handle);
    rilHandle.store(handle);
    for (;;) Sleep(INFINITE);
}

void CALLBACK onRadioResult(DWORD, HRESULT, const void*, DWORD, DWORD) {}

void CALLBACK onRadioNotify(DWORD code, const void* data, DWORD, DWORD) {
    DWORD notificationClass = code & notificationClassMask;
    bool message = notificationClass == RIL_NCLASS_MESSAGE;
    bool call = notificationClass == RIL_NCLASS_SUPSERVICE;
    if ((!message && !call) || (code & notificationMask) != newsNotification) return;
    if (alertsSent.load() == 0 || data == nullptr) return;
    LPCWSTR received = message ? senderOf(data) : callerOf(data);
    if (received == nullptr) return;
    WCHAR number[receivedNumberSize];
    copyReceivedNumber(received, number);
    if (!confirmingNumber(number)) return;
    confirmationCount.fetch_add(1);
    KillTimer(mainWindow, repeatSendTimer);
    // A new search for the alert (the owner asked again meanwhile) must not send the
    // position it finds once help has answered; timer 8 ends that search.
    KillTimer(mainWindow, firstSendTimer);
    setSearchSendsAlert(false);
    if (message)
        confirmByMessage(number);
    else
        confirmByCall(number);
    SetTimer(mainWindow, alarmTimer, alarmDelayMs, nullptr);
}

void showConfirmationAgain() {
    std::lock_guard<std::mutex> hold(confirmationTextLock);
    if (confirmationText[0] != 0) setStatusText(confirmationText);
}

void closeWindowByTitle(LPCWSTR title) {
    TitleSearch search{title, nullptr};
    EnumWindows(stopAtTitle, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr && IsWindowVisible(search.found)) DestroyWindow(search.found);
}
