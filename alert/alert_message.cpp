// The alert message: composing its text from the last fix and the owner's details, and
// sending it through one handle of the phone's SMS library to each target in turn.
#include "alert/alert_message.h"

#include <mutex>

#include "alert/confirmation_watcher.h"
#include "common/gps_state.h"
#include "common/status_text.h"
#include "settings/app_settings.h"

std::atomic<uint32_t> alertsSent{0};
SMS_HANDLE smsHandle = 0;
std::atomic<int32_t> testMode{0};
WCHAR testNumber[testNumberSize] = {};

namespace {

std::mutex testNumberLock;  // held by setTestNumber and copyTestNumber only

constexpr int longestAlertText = alertTextSize - 1;
constexpr int pieceSize = 1024;  // what wsprintfW may write at most

const WCHAR* const bloodTypes[] = {u"0+", u"A+", u"B+", u"AB+", u"0-", u"A-", u"B-", u"AB-"};
constexpr int bloodTypeCount = 8;

// Spelling and wording as the owner has always seen them; keep them.
constexpr WCHAR headerFormat[] = u"Medicine Emergency ALERT \nfrom Lat: %s Lon: %s \n%s";
constexpr WCHAR emergencyEnding[] = u" \nPlease reply, or call Sender now!";
constexpr WCHAR testEnding[] = u" \nTest message!\nPlease reply or call.";

// Blood type, sex and age: " Sex: F 34" after "Blood: A+".
void appendOwnerDetails(LPWSTR text) {
    int32_t blood = appSettings.ownerBlood;
    int32_t sex = appSettings.ownerSex;
    if (blood >= 1 && blood <= bloodTypeCount) lstrcatW(text, bloodTypes[blood - 1]);
    if (sex == 1) lstrcatW(text, u" Sex: M");
    if (sex == 2) lstrcatW(text, u" Sex: F");
    if (sex != 0 && appSettings.ownerAge != 0) {
        WCHAR age[pieceSize];
        wsprintfW(age, u" %d", appSettings.ownerAge);
        lstrcatW(text, age);
    }
}

// " I'm First Family", or nothing when both names are empty.
void formatName(LPWSTR name) {
    name[0] = 0;
    if (appSettings.firstName[0] != 0 || appSettings.familyName[0] != 0)
        wsprintfW(name, u" I'm %s %s", appSettings.firstName, appSettings.familyName);
}

// Cuts a text to `length` units without leaving half of a surrogate pair at its end.
void cutText(LPWSTR text, int length) {
    if (length < 0) length = 0;
    if (lstrlenW(text) <= length) return;
    if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
    text[length] = 0;
}

// Each target in turn; the first refusal ends the send.
bool sendToTargets(LPCWSTR text, int length) {
    const WCHAR* targets[2] = {};
    int count = 0;
    if (testMode.load() != 0) {
        if (usableNumber(testNumber)) targets[count++] = testNumber;
    } else {
        if (usableNumber(appSettings.alertNumber1)) targets[count++] = appSettings.alertNumber1;
        if (usableNumber(appSettings.alertNumber2)) targets[count++] = appSettings.alertNumber2;
    }
    for (int i = 0; i < count; ++i) {
        SMS_ADDRESS destination{};
        destination.smsatAddressType = SMSAT_UNKNOWN;
        lstrcpynW(destination.ptsAddress, targets[i], SMS_MAX_ADDRESS_LENGTH);
        TEXT_PROVIDER_SPECIFIC_DATA provider{};
        provider.dwMessageOptions = PS_MESSAGE_OPTION_NONE;
        provider.psMessageClass = PS_MESSAGE_CLASS3;
        provider.psReplaceOption = PSRO_NONE;
        SMS_MESSAGE_ID messageId = 0;
        HRESULT result = SmsSendMessage(
            smsHandle, nullptr, &destination, nullptr, reinterpret_cast<const BYTE*>(text),
            static_cast<DWORD>(length) * sizeof(WCHAR), reinterpret_cast<const BYTE*>(&provider),
            sizeof provider, SMSDE_OPTIMAL, SMS_OPTION_DELIVERY_NONE, &messageId);
        if (result != S_OK) return false;
    }
    return true;
}

// Opens the handle, sends, and closes it again: exactly once on every path.
bool openAndSend() {
    if (SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, &smsHandle, nullptr) != S_OK || smsHandle == 0) {
        smsHandle = 0;
        return false;
    }
    WCHAR text[alertTextSize];
    int length = composeAlertText(text);
    bool sent = sendToTargets(text, length);
    HRESULT closed = SmsClose(smsHandle);
    smsHandle = 0;
    return sent && closed == S_OK;
}

}  // namespace

void setTestNumber(LPCWSTR number) {
    std::lock_guard<std::mutex> hold(testNumberLock);
    lstrcpynW(testNumber, number, testNumberSize);
}

void copyTestNumber(WCHAR number[testNumberSize]) {
    std::lock_guard<std::mutex> hold(testNumberLock);
    lstrcpynW(number, testNumber, testNumberSize);
}

// Header, blood type, sex, age, name, ending. The header (67 characters with two
// position texts), the details (at most 31) and the longer ending (37) always fit in
// 159; a long name does not always, and is cut so that the ending survives whole.
int composeAlertText(WCHAR text[alertTextSize]) {
    GpsFix fix = copyGpsFix();
    WCHAR head[pieceSize];
    wsprintfW(head, headerFormat, fix.latitudeText, fix.longitudeText,
              appSettings.ownerBlood != 0 ? u"Blood: " : u"");
    appendOwnerDetails(head);
    WCHAR name[pieceSize];
    formatName(name);
    LPCWSTR ending = testMode.load() != 0 ? testEnding : emergencyEnding;
    cutText(name, longestAlertText - lstrlenW(head) - lstrlenW(ending));
    cutText(head, longestAlertText - lstrlenW(ending));
    lstrcpynW(text, head, alertTextSize);
    lstrcatW(text, name);
    lstrcatW(text, ending);
    return lstrlenW(text);
}

bool sendAlert() {
    if (smsHandle != 0) {
        SmsClose(smsHandle);
        smsHandle = 0;
    }
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const uint32_t confirmationsBefore = confirmationCount.load();
    bool sent = openAndSend();
    SetCursor(nullptr);
    if (!sent) return false;
    uint32_t count = alertsSent.fetch_add(1) + 1;
    // A confirmation that came while this send was on the line keeps its text: the screen
    // goes on saying who answered.
    if (confirmationCount.load() != confirmationsBefore) return true;
    // Spelling and wording as the owner has always seen them; keep them.
    if (count == 1)
        setStatusText(u"Alert has sent correctly\nAwaiting for response...");
    else
        formatStatusText(u"Alerts've sent %dx correctly\nAwaiting for response...", count);
    return true;
}
