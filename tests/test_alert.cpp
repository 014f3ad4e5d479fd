// The alert message: its text for the owner's details (the worked example byte for
// byte, every optional piece, names too long for one message), and sendAlert through the
// SMS library to the simulated modem: targets, status texts, the handle, the cursor,
// and failures.
#include <gtest/gtest.h>

#include "alert/alert_message.h"
#include "common/gps_state.h"
#include "common/status_text.h"
#include "settings/app_settings.h"
#include "test_modem_support.h"
#include "tests/test_status_support.h"

namespace {

using namespace orven;
using modemtest::ModemPhone;

std::string utf8(const std::u16string& text) {
    return toUtf8(text);
}

const std::u16string header =
    u"Medicine Emergency ALERT \nfrom Lat: N50.061389\u00B0 Lon: E019.937222\u00B0 \n";
const std::u16string emergencyEnding = u" \nPlease reply, or call Sender now!";
const std::u16string testEnding = u" \nTest message!\nPlease reply or call.";

void setPosition(const std::u16string& latitude, const std::u16string& longitude) {
    GpsFix fix = copyGpsFix();
    lstrcpynW(fix.latitudeText, latitude.c_str(), positionTextSize);
    lstrcpynW(fix.longitudeText, longitude.c_str(), positionTextSize);
    storeGpsFix(fix);
}

struct Owner {
    int32_t blood = 0, sex = 0, age = 0;
    std::u16string first, family;
    int32_t test = 0;
};

void setOwner(const Owner& o) {
    resetSettingsForTests();
    appSettings.ownerBlood = o.blood;
    appSettings.ownerSex = o.sex;
    appSettings.ownerAge = o.age;
    lstrcpynW(appSettings.firstName, o.first.c_str(), firstNameSize);
    lstrcpynW(appSettings.familyName, o.family.c_str(), familyNameSize);
    testMode = o.test;
    alertsSent = 0;
    setPosition(u"N50.061389\u00B0", u"E019.937222\u00B0");
}

std::u16string composed() {
    WCHAR text[alertTextSize];
    int length = composeAlertText(text);
    EXPECT_EQ(length, lstrlenW(text));
    return text;
}

struct ComposeRow {
    const char* legend;
    Owner owner;
    std::u16string thirdLineAndEnding;  // everything after the header
};

TEST(AlertText, EveryPieceAsTheOwnerGaveIt) {
    const std::vector<ComposeRow> rows = {
        {"the worked example",
         {2, 2, 34, u"Alpha", u"Bravo", 0},
         u"Blood: A+ Sex: F 34 I'm Alpha Bravo" + emergencyEnding},
        {"nothing given: the third line is one blank", {}, emergencyEnding},
        {"an age without a sex is not written", {0, 0, 40, u"", u"", 0}, emergencyEnding},
        {"a sex outside the table: no sex text, but the age",
         {0, 3, 40, u"", u"", 0},
         u" 40" + emergencyEnding},
        {"a blood type outside the table: the prefix alone",
         {9, 0, 0, u"", u"", 0},
         u"Blood: " + emergencyEnding},
        {"only a first name leaves two blanks before the line feed",
         {0, 0, 0, u"Alpha", u"", 0},
         u" I'm Alpha " + emergencyEnding},
        {"only a family name", {0, 0, 0, u"", u"Bravo", 0}, u" I'm  Bravo" + emergencyEnding},
        {"male, 0- and the test ending",
         {5, 1, 71, u"Jan", u"Kowalski", 2},
         u"Blood: 0- Sex: M 71 I'm Jan Kowalski" + testEnding},
        {"AB- with a negative age (written as stored)",
         {8, 2, -5, u"", u"", 0},
         u"Blood: AB- Sex: F -5" + emergencyEnding},
    };
    for (const ComposeRow& row : rows) {
        SCOPED_TRACE(row.legend);
        setOwner(row.owner);
        EXPECT_EQ(utf8(composed()), utf8(header + row.thirdLineAndEnding));
    }
    setOwner(rows[0].owner);
    EXPECT_EQ(composed().size(), 137u) << "the worked example is 137 characters";
}

struct LongRow {
    const char* legend;
    Owner owner;
};

// A text that would pass 159 characters loses the end of the name; the ending stays.
TEST(AlertText, ALongNameIsCutSoTheEndingSurvives) {
    const std::u16string family63(63, u'W');
    std::u16string familyWithPairs;
    for (int i = 0; i < 31; ++i) familyWithPairs += u"\U0001F600";  // 62 units
    const std::vector<LongRow> rows = {
        {"longest names, every detail, test ending",
         {8, 1, -2147483647 - 1, std::u16string(15, u'F'), family63, 2}},
        {"longest names, emergency ending", {4, 2, 99, std::u16string(15, u'F'), family63, 0}},
        {"the cut falls inside a surrogate pair", {4, 2, 99, u"Ann", familyWithPairs, 0}},
        {"unknown position texts", {4, 2, 99, std::u16string(15, u'F'), family63, 0}},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const LongRow& row = rows[i];
        SCOPED_TRACE(row.legend);
        setOwner(row.owner);
        if (i == 3) setPosition(u"??.????", u"???.????");
        WCHAR name[1024];
        wsprintfW(name, u" I'm %s %s", appSettings.firstName, appSettings.familyName);
        std::u16string text = composed();
        const std::u16string& ending = row.owner.test ? testEnding : emergencyEnding;
        EXPECT_LE(text.size(), 159u);
        EXPECT_GE(text.size(), 158u) << "only as much is cut as needed";
        ASSERT_GE(text.size(), ending.size());
        EXPECT_EQ(utf8(text.substr(text.size() - ending.size())), utf8(ending));
        size_t at = text.find(u" I'm ");
        ASSERT_NE(at, std::u16string::npos);
        std::u16string kept = text.substr(at, text.size() - ending.size() - at);
        EXPECT_EQ(std::u16string(name).rfind(kept, 0), 0u) << "the name is cut at its end";
        EXPECT_FALSE(kept.back() >= 0xD800 && kept.back() <= 0xDBFF) << "half a surrogate pair";
    }
}

// ---- Sending

void setTargets(const std::u16string& one, const std::u16string& two) {
    lstrcpynW(appSettings.alertNumber1, one.c_str(), alertNumberSize);
    lstrcpynW(appSettings.alertNumber2, two.c_str(), alertNumberSize);
}

// The lines of the trace that start with one of the prefixes, in order.
std::vector<std::string> traceOf(const std::vector<std::string>& prefixes) {
    std::vector<std::string> picked;
    for (const std::string& line : orven::test::traceLines())
        for (const std::string& p : prefixes)
            if (line.find(p) != std::string::npos) {
                picked.push_back(line.substr(line.find(p)));
                break;
            }
    return picked;
}

TEST(SendAlert, TheWorkedExampleGoesOutWhole) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    setOwner({2, 2, 34, u"Alpha", u"Bravo", 0});
    setTargets(u"+447700900123", u"");
    orven::test::clearTrace();
    ASSERT_TRUE(sendAlert());
    std::vector<sim::SentMessage> sent = p.sim.messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(utf8(sent[0].number), "+447700900123");
    EXPECT_EQ(utf8(sent[0].text),
              utf8(header + u"Blood: A+ Sex: F 34 I'm Alpha Bravo" + emergencyEnding));
    EXPECT_EQ(sent[0].dcs, 0x1B) << "UCS-2, class 3";
    EXPECT_FALSE(sent[0].statusReport);
    EXPECT_EQ(alertsSent.load(), 1u);
    EXPECT_EQ(utf8(statusNow()), "Alert has sent correctly\nAwaiting for response...");
    EXPECT_EQ(smsHandle, 0u);
    std::vector<std::string> calls =
        traceOf({"SetCursor", "SmsOpen", "SmsSendMessage", "SmsClose"});
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0], "SetCursor wait");
    EXPECT_EQ(calls[1].rfind("SmsOpen handle=", 0), 0u);
    std::string handle = calls[1].substr(15);
    EXPECT_EQ(calls[2],
              "SmsSendMessage handle=" + handle + " to=+447700900123 bytes=274 parts=3 result=0");
    EXPECT_EQ(calls[3], "SmsClose handle=" + handle);
    EXPECT_EQ(calls[4], "SetCursor none");

    ASSERT_TRUE(sendAlert());
    EXPECT_EQ(alertsSent.load(), 2u);
    EXPECT_EQ(utf8(statusNow()), "Alerts've sent 2x correctly\nAwaiting for response...");
}

struct TargetRow {
    const char* legend;
    std::u16string one, two;
    int32_t test;
    std::u16string testNumber;
    std::vector<std::string> expected;  // destinations, in order
};

TEST(SendAlert, TargetsByNumbersAndTestMode) {
    const std::vector<TargetRow> rows = {
        {"both alert numbers, in order",
         u"+447700900123",
         u"+447700900456",
         0,
         u"",
         {"+447700900123", "+447700900456"}},
        {"alert number 1 empty", u"", u"+447700900456", 0, u"", {"+447700900456"}},
        {"alert number 1 of two characters is passed over",
         u"12",
         u"+447700900456",
         0,
         u"",
         {"+447700900456"}},
        {"three characters are enough", u"112", u"", 0, u"", {"112"}},
        {"a test goes to the test number only",
         u"+447700900123",
         u"+447700900456",
         2,
         u"600100200",
         {"600100200"}},
        {"a test number of two characters: nothing is sent", u"+447700900123", u"", 2, u"60", {}},
        {"no usable number: nothing is sent, yet the send succeeds", u"", u"", 0, u"", {}},
    };
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    for (const TargetRow& row : rows) {
        SCOPED_TRACE(row.legend);
        setOwner({1, 1, 50, u"Al", u"Bo", row.test});
        setTargets(row.one, row.two);
        setTestNumber(row.testNumber.c_str());
        size_t before = p.sim.messages().size();
        ASSERT_TRUE(sendAlert());
        EXPECT_EQ(alertsSent.load(), 1u);
        std::vector<sim::SentMessage> sent = p.sim.messages();
        ASSERT_EQ(sent.size() - before, row.expected.size());
        for (size_t i = 0; i < row.expected.size(); ++i) {
            EXPECT_EQ(utf8(sent[before + i].number), row.expected[i]);
            const std::u16string& ending = row.test ? testEnding : emergencyEnding;
            EXPECT_EQ(
                utf8(sent[before + i].text.substr(sent[before + i].text.size() - ending.size())),
                utf8(ending));
        }
    }
}

TEST(SendAlert, AFailedFirstTargetLeavesTheSecondUnsent) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    setOwner({2, 2, 34, u"Alpha", u"Bravo", 0});
    setTargets(u"+447700900123", u"+447700900456");
    setStatusText(u"Position found at 10:00\nAlert is sending away...");
    p.sim.refuseSubmissions(1, "+CMS ERROR: 500");
    orven::test::clearTrace();
    EXPECT_FALSE(sendAlert());
    EXPECT_TRUE(p.sim.messages().empty());
    int submissions = 0;
    for (const std::string& c : p.sim.commandLines()) submissions += c.rfind("AT+CMGS=", 0) == 0;
    EXPECT_EQ(submissions, 1) << "nothing after the refused first part";
    EXPECT_EQ(alertsSent.load(), 0u);
    EXPECT_EQ(utf8(statusNow()), "Position found at 10:00\nAlert is sending away...");
    EXPECT_EQ(smsHandle, 0u);
    EXPECT_EQ(modemtest::tracedCount("SmsOpen"), 1);
    EXPECT_EQ(modemtest::tracedCount("SmsClose"), 1);
    EXPECT_EQ(modemtest::tracedCount("(not open)"), 0);
    EXPECT_EQ(traceOf({"SetCursor"}).back(), "SetCursor none");
}

TEST(SendAlert, AHandleLeftOpenIsClosedFirst) {
    ModemPhone p;
    ASSERT_TRUE(p.ready);
    setOwner({});
    setTargets(u"+447700900123", u"");
    ASSERT_EQ(SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, &smsHandle, nullptr), S_OK);
    SMS_HANDLE left = smsHandle;
    orven::test::clearTrace();
    ASSERT_TRUE(sendAlert());
    std::vector<std::string> calls = traceOf({"SmsOpen", "SmsClose"});
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "SmsClose handle=" + std::to_string(left));
    EXPECT_EQ(calls[1].rfind("SmsOpen", 0), 0u);
    EXPECT_EQ(smsHandle, 0u);
}

}  // namespace
