// Turning an entry's raw record fields into what callers see: the cleaned
// name, Win32 attributes and UTC file times.
#pragma once

#include <windows.h>

#include <cstdint>

// Removes drive prefixes, leading separators and ".." climbs in place, so
// the name can never leave the folder it is placed in.
void CleanEntryName(char* name);

// Win32 attribute bits from the host system (high byte of version made by)
// and the external attributes.
DWORD MapEntryAttributes(uint16_t versionMadeBy, uint32_t externalAttributes);

// The three times from the DOS date and time (local time), overridden by an
// extended timestamp ("UT") block in the local extra field when present.
void EntryTimes(uint16_t dosDate, uint16_t dosTime, const unsigned char* extra,
                uint32_t extraLength, FILETIME* access, FILETIME* creation,
                FILETIME* modification);
