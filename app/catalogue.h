// The catalogue's schema as the installer reads it: the tags and attribute
// names that carry meaning, when an element counts as chosen, and the fixed
// 256-byte buffers in which URLs, local paths and command lines are built.
#pragma once

#include <cstddef>

class TXmlTreeNode;

// Tags with a meaning of their own; any other tag is free.
constexpr const char* kTagDek = "Dek";          // a quota library, recorded in "Dek Files"
constexpr const char* kTagVersion = "Version";  // never shown in the tree

// Attributes.
constexpr const char* kAttrName = "name";              // display name; "Dek Files" key
constexpr const char* kAttrFileName = "fileName";      // present: a package to download
constexpr const char* kAttrPath = "path";              // server sub-directory, inherited
constexpr const char* kAttrModifyDate = "modifyDate";  // "%d-%d-%d %d:%d:%d", UTC
constexpr const char* kSha256Attribute = "sha256";  // the package file's SHA-256, hex
constexpr const char* kAttrState = "state";            // "2" chosen, "3" partly, else not

// URLs, local paths and command lines: 255 characters and the terminator.
// Anything longer is refused whole: cut short it would name another file.
constexpr size_t kPathSize = 256;
typedef char TPathBuffer[kPathSize];

// Appends text to the buffer. False, with the buffer unchanged, when the
// result would not fit in 255 characters.
bool AppendPath(TPathBuffer& buffer, const char* text);

// Sets path to folder + "\" + name. False, with path empty, when that would
// not fit.
bool JoinPath(TPathBuffer& path, const char* folder, const char* name);

// True when name is a bare file name that stays inside the folder it is
// joined to and names an ordinary file there: not empty, not "." or "..",
// no \ / : * ? " < > | and no byte below 32, not ending in a dot or a space
// (Windows drops those, so "a.exe." would be "a.exe"), and not a device name
// (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, any case, with or without an
// extension), and not a name of the support log, which the program appends
// to in the download folder (IsSupportLogName). The name is read by
// characters of the system code page: the second byte of a GBK character
// may be 0x5C or 0x7C and is no separator.
// Every "fileName" from the catalogue passes this before it is used.
bool IsBareFileName(const char* name);

// True when `name` is "InstallZelm.log" or "InstallZelm.log.1" in any case:
// no package may be stored under them, or the log would be written into a
// verified installer before it runs.
bool IsSupportLogName(const char* name);

// Integer value of attribute or header text: leading white space skipped, an
// optional sign, decimal digits up to the first non-digit; 0 when there are
// none. Values beyond the range of int are clamped.
int ReadInteger(const char* text);

// True when the element's "state" reads as the integer 2 (chosen). The tree
// reads it the same way, so " 2" and "02" show ticked.
bool IsChosen(const TXmlTreeNode& element);
