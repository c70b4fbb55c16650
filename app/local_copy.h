// The skip test: whether the package file already in the download folder
// can stand in for a transfer.
#pragma once

#include <windows.h>

#include "app/held_file.h"
#include "app/package_hash.h"

class TXmlTreeNode;

// Holds the file at localPath in `held` (THeldFile: nobody can change it
// while it is held) and checks through that handle whether it can stand in
// for a transfer: exactly `expected` bytes, last written no earlier than the
// element's "modifyDate" ("%d-%d-%d %d:%d:%d", UTC, a year below 100 meaning
// 2000 + year) or, without a usable date, today 00:00 UTC, and, when the
// element carries "sha256", that SHA-256. An impossible date (month 13, day
// 0) makes the copy out of date, and so does a malformed "sha256". The file
// is hashed in blocks with host->KeepGoing() asked after each (host may be
// null); a no stops the hashing and the copy does not count as current.
// True with the file held; false with nothing held and the file untouched.
bool HoldCurrentLocalCopy(const char* localPath, DWORD expected, const TXmlTreeNode* element,
                          TRunHost* host, THeldFile& held);
