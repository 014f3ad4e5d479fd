// The conversions applied to NMEA fields: numbers read the way wcstod reads them, an
// angle field (ddmm.mmmm or dddmm.mmmm) to decimal degrees, and the time field of an
// accepted sentence (hhmmss or hhmmss.sss, UTC) to the fix time. Pure functions, except
// that buildFixTime reads the device clock for the members the sentence does not give.
#pragma once

#include <cstdint>

#include "platform/windows.h"

// Numbers are read from at most this many characters; NMEA fields are far shorter.
constexpr int numberTextLimit = 255;

// Reads the longest leading decimal number of text, as wcstod does: leading blanks, an
// optional sign, digits with an optional point and fraction, an optional exponent. Stops
// at maxLength characters or at the terminator. No number there reads as 0; a number too
// large for a double reads as +/- infinity. (The hexadecimal, INF and NAN forms of wcstod
// are not decimal numbers and read as 0.)
double readNumber(LPCWSTR text, int maxLength = numberTextLimit);

// The same without blanks or sign: for the angle and time fields, which carry none, so a
// sign or blank there reads as no number.
double readUnsignedNumber(LPCWSTR text, int maxLength = numberTextLimit);

// A count or code field: the number cut toward zero, 0 for negative or no number, and
// 4294967295 at most.
uint32_t truncateToCount(double value);

// An angle field with `degreeDigits` degree digits (2 for latitude, 3 for longitude) in
// decimal degrees, always 0 or more: D + M / 60, where D reads the first degreeDigits
// characters and M reads the field with those characters replaced by '0'. Minutes of 60
// or more are not rejected (4875.000 reads as 49.25). A field shorter than its degree
// digits is all degrees: "4" reads as 4.0.
double nmeaToDegrees(LPCWSTR field, int degreeDigits);

// The clock's current UTC time (GetSystemTime: the sentence's time is UTC too, so the date
// belongs with it) with hour, minute and second taken from character pairs 0-1, 2-3 and
// 4-5 of the time text, each read as a number and cut to an integer. A pair the text is
// too short for reads as 0, a half pair as its one digit: "1235" gives 12:35:00.
SYSTEMTIME buildFixTime(LPCWSTR timeText);
