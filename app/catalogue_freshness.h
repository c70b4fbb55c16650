// How fresh a signed catalogue is. A signature proves who wrote a catalogue,
// not when: a mirror could serve an old signed catalogue forever (its
// packages' holes never fixed) or fall back to an older one after a newer
// one was seen. So the root element of a signed catalogue carries
//
//   expires="YYYY-MM-DDTHH:MM:SSZ"   a UTC time after which it is refused
//   serial="N"                        a decimal number, 0 to 2^63-1, that
//                                     never goes down between catalogues
//
// This file only reads and judges those texts; it is pure and portable (no
// clock, no registry), so that every rule can be tested with fixed inputs.
#pragma once

#include <cstdint>

// The root attributes that carry the two values.
constexpr const char* kAttrExpires = "expires";
constexpr const char* kAttrSerial = "serial";

// The largest serial: a signed 64-bit number, as the vendor's tools write it.
constexpr uint64_t kCatalogueSerialMax = 0x7FFFFFFFFFFFFFFFull;

// Reads an "expires" text: exactly "YYYY-MM-DDTHH:MM:SSZ", four-digit year
// 1601 to 9999, a real calendar day (29 February only in leap years), hours
// 00-23, minutes and seconds 00-59, an upper-case "T" and "Z". Nothing
// before or after, no other time zone, no fractions. On success writes the
// time as a FILETIME value (100-nanosecond intervals since 1601-01-01 UTC)
// to *fileTime and returns true; otherwise returns false, *fileTime
// untouched. A null text is refused.
bool ParseCatalogueExpiry(const char* text, uint64_t* fileTime);

// Reads a "serial" text: one or more decimal digits (leading zeros
// allowed) whose value is at most kCatalogueSerialMax. No sign, no
// white space, nothing else. On success writes the value to *serial and
// returns true; otherwise false, *serial untouched. A null text is refused.
bool ParseCatalogueSerial(const char* text, uint64_t* serial);

// Writes `serial` in decimal with a terminator; 20 bytes always suffice.
void FormatCatalogueSerial(uint64_t serial, char (&text)[21]);

enum class TFreshness {
  Fresh,    // within its time, and not older than what was accepted before
  Expired,  // "expires" missing, malformed, or earlier than now
  Older,    // "serial" missing, malformed, or lower than the accepted one
};

// Judges a catalogue's root attributes `expires` and `serial` (null when
// absent) against the current UTC time `now` (FILETIME units) and the
// highest serial accepted so far. The expiry is judged first: a catalogue
// that is both expired and older is Expired. An expiry equal to now is
// still fresh; a serial equal to the accepted one is accepted. On Fresh,
// *catalogueSerial (may be null) gets the catalogue's serial.
TFreshness JudgeCatalogueFreshness(const char* expires, const char* serial, uint64_t now,
                                   uint64_t acceptedSerial, uint64_t* catalogueSerial);
