// The settings record: every persisted user setting in one process-wide record, and its
// store as values of HKEY_LOCAL_MACHINE "SOFTWARE\ZURV\ORVEN".
//
// Threads: every field is written by the GUI thread only, except gpsPortNumber, which
// the GPS reader thread also writes (and stores) when it finds the receiver; it is
// atomic for that reason. Code that stores it through RegSetValueExW copies it into a
// local 32-bit word first. The radio thread (the confirmation watcher) reads the two
// call-answering switches, atomic words, and the two alert numbers while a dialog may
// be changing them: the numbers are written under a lock, through storeAlertNumbers,
// and read off the GUI thread only through copyAlertNumbers. The GUI thread itself,
// their only writer, reads them as is.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/windows.h"

constexpr int firstNameSize = 16;       // UTF-16 units, terminator included
constexpr int familyNameSize = 64;      // UTF-16 units, terminator included
constexpr int alertNumberSize = 16;     // UTF-16 units, terminator included
constexpr int hardwareKeySize = 16;     // UTF-16 units, terminator included
constexpr int alertsNumberChoices = 7;  // entries of the alert count list

struct AppSettings {
    int32_t hardwareTest = 0;                  // 1: the next start by the button only confirms it
    WCHAR firstName[firstNameSize] = {};       // owner's first name
    WCHAR familyName[familyNameSize] = {};     // owner's family name
    int32_t ownerBlood = 0;                    // 0 not given; 1-8: 0, A, B, AB Rh+, then Rh-
    int32_t ownerSex = 0;                      // 0 not given, 1 male, 2 female
    int32_t ownerAge = 0;                      // whole years; 0 not given
    WCHAR alertNumber1[alertNumberSize] = {};  // first alert number, as typed (GUI; lock)
    WCHAR alertNumber2[alertNumberSize] = {};  // second alert number, as typed (GUI; lock)
    int32_t alertsNumber = 5;               // index into 1,2,3,4,5,10,15 sends (see alertSendLimit)
    std::atomic<int32_t> autoAnswering{1};  // 1: a confirming call is answered by itself
                                            // (GUI writes, radio thread reads)
    std::atomic<int32_t> autoSpeakerphone{1};  // 1: an answered call goes to the loudspeaker
                                               // (GUI writes, radio thread reads)
    WCHAR hardwareKey[hardwareKeySize] = {};   // button assigned to the program; empty: none
    std::atomic<int32_t> gpsPortNumber{
        -1};  // COMn of the receiver last found; -1 none (GUI and GPS threads)
};

// The one settings record of the process.
extern AppSettings appSettings;

// The settings key and the value the receiver search keeps up to date.
extern const WCHAR settingsKeyName[];     // "SOFTWARE\ZURV\ORVEN" under HKEY_LOCAL_MACHINE
extern const WCHAR gpsPortNumberValue[];  // "GPS port number"

// Registry to record. Missing values and values of the wrong type leave their fields as
// they are; a text longer than its field is cut to the field. Returns 1.
int loadSettings();
// Record to registry, every field but gpsPortNumber. Returns 1.
int saveSettings();
// Saves gpsPortNumber alone as "GPS port number" (the receiver search does, when it has
// found a receiver); failures are ignored. Safe on any thread.
void storePortNumber();

// Copies both alert numbers under the lock; safe on any thread.
void copyAlertNumbers(WCHAR number1[alertNumberSize], WCHAR number2[alertNumberSize]);
// Replaces both alert numbers under the lock, each cut to 15 characters. GUI thread.
void storeAlertNumbers(const WCHAR* number1, const WCHAR* number2);

// An alert number (or the test number) counts as set from 3 characters on.
bool usableNumber(const WCHAR* number);
// alertsNumber as the program uses it: 0 to 6, anything else counts as the default 5.
int32_t validAlertsNumber(int32_t alertsNumber);
// How many times the alert is sent for an alertsNumber: 1, 2, 3, 4, 5, 10 or 15
// (10 for an index outside 0 to 6).
int alertSendLimit(int32_t alertsNumber);

// Test-only: puts every field back to its default.
void resetSettingsForTests();
