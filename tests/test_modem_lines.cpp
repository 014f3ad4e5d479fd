// The modem's lines without a port: splitting, what each line is while a given command
// waits, caller ids in the shapes modules send them, and the events unsolicited results
// become.
#include <gtest/gtest.h>

#include "platform/modem_lines.h"
#include "platform/text.h"

namespace {

using namespace orven::modem;
using namespace orven::modem::lines;

TEST(ModemLines, SplitsOnAnyLineEndAndFindsThePrompt) {
    LineBuffer buffer;
    const std::string bytes = "\r\r\nRING\r\r\n\r\n+CMT: ,23\r0791\"\r\n OK \r\n> ";
    buffer.append(bytes.data(), bytes.size());
    std::vector<std::string> got;
    std::string line;
    while (buffer.takeLine(line)) got.push_back(line);
    EXPECT_EQ(got, (std::vector<std::string>{"RING", "+CMT: ,23", "0791\"", "OK"}));
    EXPECT_TRUE(buffer.takePrompt());
    EXPECT_FALSE(buffer.takePrompt());
    const std::string partial = "+CMGS: 1";
    buffer.append(partial.data(), partial.size());
    EXPECT_FALSE(buffer.takeLine(line)) << "no line end yet";
    EXPECT_FALSE(buffer.takePrompt());
}

struct ClassRow {
    const char* line;
    const char* command;  // in flight; empty: none
    char is;              // 'f' final, 'u' unsolicited, 'i' information
};

TEST(ModemLines, WhatALineIsDependsOnTheCommandInFlight) {
    const std::vector<ClassRow> rows = {
        {"OK", "AT", 'f'},
        {"ERROR", "AT+CMGF=0", 'f'},
        {"+CMS ERROR: 500", "AT+CMGS=153", 'f'},
        {"+CME ERROR: 14", "AT+CPIN?", 'f'},
        {"COMMAND NOT SUPPORT", "AT+CNMI=2,1,0,0,0", 'f'},
        {"NO CARRIER", "ATA", 'f'},
        {"NO CARRIER", "AT+CMGS=153", 'u'},
        {"NO CARRIER", "", 'u'},
        {"+CPIN: READY", "AT+CPIN?", 'i'},
        {"+CPIN: READY", "", 'u'},
        {"+CMGS: 17", "AT+CMGS=153", 'i'},
        {"+CMGR: 0,,28", "AT+CMGR=3", 'i'},
        {"+CMTI: \"SM\",4", "AT+CMGR=3", 'u'},
        {"+CLIP: \"+447700900123\",145,\"\",0,\"\",0", "AT+CMGS=25", 'u'},
        {"+CLIP: 1,1", "AT+CLIP?", 'i'},
        {"RING", "AT", 'u'},
        {"RDY", "", 'u'},
        {"SMS Ready", "AT+CMGF=0", 'u'},
        {"VOICE CALL: END: 000041", "", 'u'},
        {"0791447700090000040C9144", "AT+CMGR=3", 'i'},
    };
    for (const ClassRow& row : rows) {
        SCOPED_TRACE(std::string(row.line) + " during " + row.command);
        char is = isFinal(row.line, row.command)         ? 'f'
                  : isUnsolicited(row.line, row.command) ? 'u'
                                                         : 'i';
        EXPECT_EQ(is, row.is);
    }
    EXPECT_TRUE(isBusy("+CME ERROR: 515"));
    EXPECT_TRUE(isBusy("+CMS ERROR: 314"));
    EXPECT_FALSE(isBusy("+CMS ERROR: 500"));
    EXPECT_EQ(messageReferenceOf({"+CMGS: 17,\"24/05/17\""}), 17);
}

TEST(ModemLines, CallerIdsInTheShapesModulesSend) {
    const std::vector<std::pair<const char*, const char*>> rows = {
        {"+CLIP: \"+447700900123\",145,\"\",0,\"\",0", "+447700900123"},  // SIM800
        {"+CLIP: \"+393351391306\",145,,,,0", "+393351391306"},           // Huawei
        {"+CLIP: \"447700900123\",145", "+447700900123"},                 // international without +
        {"+CLIP: \"1234567890\",129", "1234567890"},                      // Telit, national
        {"+CLIP: 012345,129", "012345"},                                  // unquoted
        {"+CLIP: \"\",128,,,,1", ""},                                     // withheld
        {"+CLIP: \"unterminated", ""},
    };
    for (const auto& [line, number] : rows) {
        SCOPED_TRACE(line);
        EXPECT_EQ(orven::toUtf8(callerOfClip(line)), number);
    }
    EXPECT_EQ(storedOfCmti("+CMTI: \"SM\",3"), (std::pair<std::string, int>{"SM", 3}));
    EXPECT_EQ(storedOfCmti("+CMTI: \"ME\", 12"), (std::pair<std::string, int>{"ME", 12}));
}

TEST(ModemLines, UnsolicitedResultsBecomeEvents) {
    std::vector<std::string> events;
    Router router([&](const Event& e) {
        static const char* names[] = {"message", "ring", "callerId", "callEnded", "ready", "lost"};
        events.push_back(std::string(names[static_cast<int>(e.kind)]) + ":" + e.pdu +
                         orven::toUtf8(e.number));
    });
    router.unsolicited("+CMT: ,28", 1);
    EXPECT_TRUE(router.continuation("07914477000900\""));
    router.unsolicited("+CMT: ,28", 2);
    EXPECT_FALSE(router.continuation("OK")) << "the PDU never came";
    router.unsolicited("+CDS: 25", 3);
    EXPECT_TRUE(router.continuation("0006D60B911326880736F4")) << "a status report is swallowed";
    router.unsolicited("RING", 10);
    router.unsolicited("+CLIP: \"+447700900123\",145,\"\",0,\"\",0", 10);
    router.unsolicited("RING", 20);
    router.unsolicited("+CLIP: \"+447700900123\",145,\"\",0,\"\",0", 20);
    router.unsolicited("NO CARRIER", 30);
    router.unsolicited("+CLIP: \"\",128,,,,1", 40);
    EXPECT_EQ(router.checkSilence(45, 10), 50u);
    EXPECT_EQ(router.checkSilence(50, 10), never) << "no RING for the silence: the call ended";
    router.unsolicited("+CMTI: \"SM\",3", 60);
    router.unsolicited("+CMTI: \"SM\",3", 61);
    router.unsolicited("+CMTI: \"SM\",0", 62);
    EXPECT_EQ(router.toRead.size(), 1u) << "an index is read once";
    router.unsolicited("RDY", 70);
    EXPECT_TRUE(router.restartSeen);
    EXPECT_EQ(events,
              (std::vector<std::string>{"message:07914477000900", "ring:", "callerId:+447700900123",
                                        "ring:", "callEnded:", "callerId:", "callEnded:"}));
}

}  // namespace
