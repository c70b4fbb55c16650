// The host application's settings file "qmtz.ini" and its section
// "Dek Files" (key = quota-library name, value = full path of the installed
// file). The package installers write the records; we read, flush and prune
// them. The file is named without a folder so that the profile functions
// find it in the Windows directory.
#pragma once

#include <string>
#include <vector>

constexpr const char* kSettingsFile = "qmtz.ini";
constexpr const char* kSettingsFileUpper = "QMTZ.INI";  // the profile functions ignore case
constexpr const char* kDekSection = "Dek Files";
// Size of the buffer that receives every key name of "Dek Files".
constexpr unsigned kDekKeyListSize = 102400;
// Size of the buffer for one record's value (a path): 255 characters at most.
constexpr unsigned kDekValueSize = 256;

// Makes the system write out its cached copy of the settings file, so that a
// package installer started next reads and writes the file on disk.
void FlushSettingsFile();

// Reads the value of `key` in "Dek Files" into `value` (kDekValueSize bytes).
// Returns false, with `value` empty, when the record is missing, empty, or
// longer than 255 characters: a cut-off path would name some other file.
bool ReadDekValue(const char* key, char* value);

// True when "Dek Files" has a record for `name` whose value is the path of an
// existing file.
bool IsDekRecorded(const char* name);

// Every key of "Dek Files" in the order of the section, as far as they fit in
// the kDekKeyListSize-byte list the profile function fills. Empty when there
// is no settings file or no section.
std::vector<std::string> ReadDekKeys();

// Removes the record `key` from "Dek Files".
void RemoveDekRecord(const char* key);
