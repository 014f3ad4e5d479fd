// The phone's SMS library ("SMS.dll"): SmsOpen, SmsSendMessage and SmsClose for the
// text protocol, sending through the modem of the device registry (platform/modem.h).
//
// SmsSendMessage turns the UTF-16 text into PDUs (GSM 7-bit when every character has a
// GSM form and the encoding allows it, otherwise UCS-2; concatenated parts with a user
// data header when the text is longer than one message), hands them to the modem one
// after the other and blocks its caller until the modem confirmed every part (+CMGS),
// refused one, or a time-out ran out. It returns S_OK only when every part was
// confirmed. Any thread may call it; radio notifications keep flowing meanwhile.
#pragma once

#include "platform/hresult.h"
#include "platform/win_types.h"

typedef DWORD SMS_HANDLE;
typedef DWORD SMS_MESSAGE_ID;

#define SMS_MSGTYPE_TEXT u"Microsoft Text SMS Protocol"

// Message modes of SmsOpen.
#define SMS_MODE_RECEIVE 0x00000001
#define SMS_MODE_SEND 0x00000002

typedef DWORD SMS_ADDRESS_TYPE;
#define SMSAT_UNKNOWN 0
#define SMSAT_INTERNATIONAL 1
#define SMSAT_NATIONAL 2
#define SMSAT_NETWORKSPECIFIC 3
#define SMSAT_SUBSCRIBER 4
#define SMSAT_ALPHANUMERIC 5
#define SMSAT_ABBREVIATED 6

#define SMS_MAX_ADDRESS_LENGTH 256

struct SMS_ADDRESS {
    SMS_ADDRESS_TYPE smsatAddressType;
    WCHAR ptsAddress[SMS_MAX_ADDRESS_LENGTH];
};

typedef DWORD SMS_DATA_ENCODING;
#define SMSDE_OPTIMAL 0  // GSM 7-bit when the text allows it, otherwise UCS-2
#define SMSDE_GSM 1
#define SMSDE_UCS2 2

// Send options.
#define SMS_OPTION_DELIVERY_NONE 0x00000000
#define SMS_OPTION_DELIVERY_NO_RETRY 0x00000001

// The text protocol's provider data.
#define PS_MESSAGE_OPTION_NONE 0x00000000
#define PS_MESSAGE_OPTION_REPLYPATH 0x00000001
#define PS_MESSAGE_OPTION_STATUSREPORT 0x00000002
#define PS_MESSAGE_OPTION_DISCARD 0x00000004

typedef DWORD PROVIDER_SPECIFIC_MESSAGE_CLASS;
#define PS_MESSAGE_CLASS0 0
#define PS_MESSAGE_CLASS1 1
#define PS_MESSAGE_CLASS2 2
#define PS_MESSAGE_CLASS3 3
#define PS_MESSAGE_CLASSUNSPECIFIED 4

typedef DWORD PROVIDER_SPECIFIC_REPLACE_OPTION;
#define PSRO_NONE 0

#define SMS_DATAGRAM_SIZE 140

struct TEXT_PROVIDER_SPECIFIC_DATA {
    DWORD dwMessageOptions;
    PROVIDER_SPECIFIC_MESSAGE_CLASS psMessageClass;
    PROVIDER_SPECIFIC_REPLACE_OPTION psReplaceOption;
    DWORD dwHeaderDataSize;
    BYTE pbHeaderData[SMS_DATAGRAM_SIZE];
    BOOL fMessageContainsEMSHeaders;
    DWORD dwProtocolID;
};
static_assert(sizeof(TEXT_PROVIDER_SPECIFIC_DATA) == 164, "the phone's layout is 164 bytes");

// Errors of this library (the SMS facility's range).
#define SMS_E_INVALIDPROTOCOL ((HRESULT)0x82000100L)   // not the text protocol
#define SMS_E_RADIOUNAVAILABLE ((HRESULT)0x82000101L)  // no modem, or it went away
#define SMS_E_TIMEOUT ((HRESULT)0x82000102L)           // the modem did not answer in time
#define SMS_E_SENDFAILED ((HRESULT)0x82000103L)        // the modem or network refused a part
#define SMS_E_INVALIDDATA ((HRESULT)0x82000104L)       // text or number cannot be sent

// ---- SmsOpen: only the text protocol; the handle is not 0. No message-available event
// is offered (receiving goes through the radio interface).
HRESULT SmsOpen(LPCWSTR protocol, DWORD messageModes, SMS_HANDLE* handle,
                HANDLE* messageAvailableEvent);
// ---- SmsSendMessage: see above. `data` is UTF-16 text of `dataSize` bytes. The
// service centre, when given and not empty, goes into every PDU; the validity period is
// not sent (the network's default applies). A message class comes from the provider
// data; PS_MESSAGE_OPTION_STATUSREPORT asks for a status report.
HRESULT SmsSendMessage(SMS_HANDLE handle, const SMS_ADDRESS* serviceCentre,
                       const SMS_ADDRESS* destination, const SYSTEMTIME* validityPeriod,
                       const BYTE* data, DWORD dataSize, const BYTE* providerData,
                       DWORD providerDataSize, SMS_DATA_ENCODING encoding, DWORD options,
                       SMS_MESSAGE_ID* messageId);
// ---- SmsClose: E_INVALIDARG for a handle that is not open.
HRESULT SmsClose(SMS_HANDLE handle);
