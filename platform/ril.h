// The phone's Radio Interface Layer: RIL_Initialize, RIL_Answer and RIL_Deinitialize,
// with the notifications the program reacts to, over the modem of the device registry
// (platform/modem.h).
//
// The modem's unsolicited results become notifications:
// - an incoming SMS (+CMT, or +CMTI and then its reading) is RIL_NOTIFY_MESSAGE with a
//   RILMESSAGE of type RIL_MSGTYPE_IN_DELIVER whose originating address is the sender
//   (a number, or a name for an alphanumeric sender); the parts of one concatenated
//   message make one notification;
// - a ringing call is RIL_NOTIFY_RING at every RING, and RIL_NOTIFY_CALLERID once per
//   call with a RILREMOTEPARTYINFO carrying the caller's number (an empty address with
//   RIL_REMOTEPARTYINFO_WITHHELD when the number is withheld);
// - the end of a call is RIL_NOTIFY_DISCONNECT.
// Before a notification is delivered the shell shows its window ("New SMS message" or
// "New text message", "Phone - Incoming..."), so a callback already finds it.
//
// Callbacks run on the radio's notification thread, one at a time, never on the
// thread that reads the modem: a callback may block (sleep) without stalling the port.
// RIL_Answer queues ATA and returns at once; its outcome reaches the result callback.
#pragma once

#include <cstdint>

#include "platform/hresult.h"
#include "platform/win_types.h"

typedef HANDLE HRIL;

typedef void(CALLBACK* RILRESULTCALLBACK)(DWORD code, HRESULT commandId, const void* data,
                                          DWORD size, DWORD parameter);
typedef void(CALLBACK* RILNOTIFYCALLBACK)(DWORD code, const void* data, DWORD size,
                                          DWORD parameter);

// Notification classes (bits 16-23 of a code).
#define RIL_NCLASS_FUNCRESULT 0x00000000
#define RIL_NCLASS_CALLCTRL 0x00010000
#define RIL_NCLASS_MESSAGE 0x00020000
#define RIL_NCLASS_NETWORK 0x00040000
#define RIL_NCLASS_SUPSERVICE 0x00080000
#define RIL_NCLASS_PHONEBOOK 0x00100000
#define RIL_NCLASS_SIMTOOLKIT 0x00200000
#define RIL_NCLASS_MISC 0x00400000
#define RIL_NCLASS_RADIOSTATE 0x00800000
#define RIL_NCLASS_ALL 0x00FF0000

// Notifications.
#define RIL_NOTIFY_RING (0x00000001 | RIL_NCLASS_CALLCTRL)
#define RIL_NOTIFY_CONNECT (0x00000002 | RIL_NCLASS_CALLCTRL)
#define RIL_NOTIFY_DISCONNECT (0x00000003 | RIL_NCLASS_CALLCTRL)
#define RIL_NOTIFY_MESSAGE (0x00000001 | RIL_NCLASS_MESSAGE)
#define RIL_NOTIFY_CALLERID (0x00000001 | RIL_NCLASS_SUPSERVICE)

// Result codes of the result callback.
#define RIL_RESULT_OK (0x00000001 | RIL_NCLASS_FUNCRESULT)
#define RIL_RESULT_NOCARRIER (0x00000002 | RIL_NCLASS_FUNCRESULT)
#define RIL_RESULT_ERROR (0x00000003 | RIL_NCLASS_FUNCRESULT)
#define RIL_RESULT_NODIALTONE (0x00000004 | RIL_NCLASS_FUNCRESULT)
#define RIL_RESULT_BUSY (0x00000005 | RIL_NCLASS_FUNCRESULT)
#define RIL_RESULT_NOANSWER (0x00000006 | RIL_NCLASS_FUNCRESULT)

#define MAXLENGTH_ADDRESS 256
#define MAXLENGTH_SUBADDR 256
#define MAXLENGTH_DESCRIPTION 256
#define MAXLENGTH_HDR 256
#define MAXLENGTH_MSG 256

// Address types.
#define RIL_ADDRTYPE_UNKNOWN 0
#define RIL_ADDRTYPE_INTERNATIONAL 1
#define RIL_ADDRTYPE_NATIONAL 2
#define RIL_ADDRTYPE_ALPHANUM 5

#define RIL_PARAM_A_TYPE 0x00000001
#define RIL_PARAM_A_ADDRESS 0x00000004

struct RILADDRESS {
    DWORD cbSize;
    DWORD dwParams;
    DWORD dwType;
    DWORD dwNumPlan;
    WCHAR wszAddress[MAXLENGTH_ADDRESS];
};

struct RILSUBADDRESS {
    DWORD cbSize;
    DWORD dwParams;
    DWORD dwType;
    WCHAR wszSubAddress[MAXLENGTH_SUBADDR];
};

// Data coding of a message.
#define RIL_DCSALPHABET_DEFAULT 0x00000001
#define RIL_DCSALPHABET_8BIT 0x00000002
#define RIL_DCSALPHABET_UCS2 0x00000003

struct RILMSGDCS {
    DWORD cbSize;
    DWORD dwParams;
    DWORD dwType;
    DWORD dwFlags;
    DWORD dwMsgClass;
    DWORD dwAlphabet;
    DWORD dwIndication;
    DWORD dwLanguage;
};

// Message types.
#define RIL_MSGTYPE_IN_DELIVER 0x00010001

#define RIL_PARAM_M_SVCCTRADDRESS 0x00000001
#define RIL_PARAM_M_TYPE 0x00000002
#define RIL_PARAM_M_ORIGADDRESS 0x00000010
#define RIL_PARAM_M_MSG 0x00004000

// An incoming delivered message: the sender, when the centre stamped it, and its text
// (UTF-16, little-endian, cut to MAXLENGTH_MSG bytes).
struct RILMSGINDELIVER {
    RILADDRESS raOrigAddress;
    DWORD dwProtocolID;
    RILMSGDCS rmdDataCoding;
    SYSTEMTIME stSCReceiveTime;
    DWORD cbHdrLength;
    DWORD cchMsgLength;
    BYTE rgbHdr[MAXLENGTH_HDR];
    BYTE rgbMsg[MAXLENGTH_MSG];
};

struct RILMESSAGE {
    DWORD cbSize;
    DWORD dwParams;
    RILADDRESS raSvcCtrAddress;
    DWORD dwType;
    DWORD dwFlags;
    union {
        RILMSGINDELIVER msgInDeliver;
    };
};

#define RIL_PARAM_RPI_ADDRESS 0x00000001
#define RIL_PARAM_RPI_VALIDITY 0x00000008

#define RIL_REMOTEPARTYINFO_VALID 0x00000001
#define RIL_REMOTEPARTYINFO_WITHHELD 0x00000002
#define RIL_REMOTEPARTYINFO_UNAVAILABLE 0x00000003

struct RILREMOTEPARTYINFO {
    DWORD cbSize;
    DWORD dwParams;
    RILADDRESS raAddress;
    RILSUBADDRESS rsaSubAddress;
    WCHAR wszDescription[MAXLENGTH_DESCRIPTION];
    DWORD dwValidity;
};

// ---- RIL_Initialize: registers the two callbacks for the notification classes given
// (RIL_NCLASS_ALL for all) and starts the modem if it is not running yet. Port index 1
// is the phone's one radio; other indexes fail with E_INVALIDARG.
HRESULT RIL_Initialize(DWORD index, RILRESULTCALLBACK resultCallback,
                       RILNOTIFYCALLBACK notifyCallback, DWORD notificationClasses, DWORD parameter,
                       HRIL* handle);
// ---- RIL_Answer: queues ATA; returns a command identifier (positive) at once.
HRESULT RIL_Answer(HRIL handle);
// ---- RIL_Deinitialize: no callback of this handle runs after it returns (unless it is
// called from inside one, which then ends first).
HRESULT RIL_Deinitialize(HRIL handle);

namespace orven::radio {
// Test-only: waits (bounded) until every event the modem handed on so far has been
// delivered and its callbacks have returned.
bool drainForTests(uint32_t timeoutMs = 5000);
}  // namespace orven::radio
