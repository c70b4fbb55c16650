// Every line the activity log can show, in one place. The texts are the
// program's own words to the user; each definition in app/log_text.cpp
// carries its English sense. Lines end in "\r\n", as the edit control wants.
#pragma once

#include <string>

// Fixed lines.
extern const char kLogCheckFailed[];
extern const char kLogNoRoom[];
extern const char kLogCancelled[];
extern const char kLogDownloadFailed[];
extern const char kLogInstalled[];
extern const char kLogInstallFailed[];
extern const char kLogDekFailedHeading[];
extern const char kLogSoftwareFailedHeading[];
extern const char kLogRestartNeeded[];
extern const char kLogNoCatalogueToUninstall[];
// One line for each catalogue attempt that downloaded an archive but could
// not use it; the fetch then goes on with the next mirror.
extern const char kLogCatalogueDamaged[];
extern const char kLogCatalogueBadSignature[];
extern const char kLogCatalogueExpired[];
extern const char kLogCatalogueOlder[];
// When neither mirror could be reached at all.
extern const char kLogCatalogueNetwork[];

// Lines that carry a name, a URL or a number.
std::string LogDownloading(const std::string& name);
std::string LogFrom(const char* baseUrl);
// A resumed transfer is marked after its speed (kilobytes per second).
std::string LogDownloaded(float speed, bool resumed, const std::string& name);
std::string LogInstallFailedWithCode(unsigned long code);
std::string LogUninstalling(const std::string& key);
// One name of a closing list, indented under its heading.
std::string LogListed(const std::string& name);
