#include "app/support_records.h"

#include <wininet.h>

#include <cstring>
#include <new>

#include "app/catalogue_archive.h"
#include "app/package_hash.h"
#include "app/support_log.h"

#ifndef IZ_PROGRAM_VERSION
#define IZ_PROGRAM_VERSION "?"
#endif

namespace {

// Header values are the server's text: only so much of each is kept.
const DWORD kHeaderMax = 256;

// The text of a response header, "" when the answer has none.
std::string HeaderText(HINTERNET request, DWORD query) {
  char text[kHeaderMax + 1] = {};
  DWORD length = kHeaderMax;
  if (!HttpQueryInfoA(request, query, text, &length, nullptr)) return std::string();
  text[kHeaderMax] = 0;
  return text;
}

std::string Number(unsigned long long value) { return std::to_string(value); }

void Record(const char* kind, const std::string& text) { SupportLog().Write(kind, text.data(), text.size()); }

// Runs the making of a record. Memory that runs out on the way costs the
// record, never the work it records.
template <typename TMake>
void Guarded(TMake make) {
  if (!SupportLog().IsStarted()) return;
  try {
    make();
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace

void RecordProgramStart(const char* folder) {
  if (!SupportLog().Start(folder)) return;
  Guarded([&] { Record("start", std::string("InstallZelm " IZ_PROGRAM_VERSION ", download folder ") + folder); });
}

std::string RedactUrl(const char* url) {
  std::string text = url;
  size_t scheme = text.find("://");
  size_t authority = scheme == std::string::npos ? 0 : scheme + 3;
  size_t end = text.find_first_of("/?#", authority);
  size_t at = text.rfind('@', end == std::string::npos ? std::string::npos : end);
  if (at == std::string::npos || at < authority) return text;
  return text.replace(authority, at - authority, "***");
}

namespace {

// The http line of an answer whose head has arrived.
std::string AnswerText(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  bool hasStatus = HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                  &size, nullptr) != FALSE;
  std::string line = " status " + (hasStatus ? Number(status) : std::string("?"));
  std::string length = HeaderText(request, HTTP_QUERY_CONTENT_LENGTH);
  line += " length " + (length.empty() ? std::string("none") : length);
  // What a resumed transfer is judged by.
  const struct {
    DWORD Query;
    const char* Label;
  } kExtras[] = {{HTTP_QUERY_CONTENT_RANGE, " content-range "},
                 {HTTP_QUERY_ETAG, " etag "},
                 {HTTP_QUERY_LAST_MODIFIED, " last-modified "}};
  for (const auto& extra : kExtras) {
    std::string value = HeaderText(request, extra.Query);
    if (!value.empty()) line += extra.Label + value;
  }
  return line;
}

}  // namespace

void RecordHttpAnswer(const char* url, void* request, const char* range) {
  Guarded([&] {
    std::string line = "GET " + RedactUrl(url);
    if (range && *range) line += std::string(" range ") + range;
    line += request ? AnswerText(static_cast<HINTERNET>(request)) : std::string(" no answer");
    Record("http", line);
  });
}

void RecordTransfer(const char* localPath, unsigned long long received, unsigned long expected,
                    unsigned long elapsedMs, bool complete, bool cancelled) {
  const char* outcome = complete               ? "complete"
                        : cancelled            ? "cancelled"
                        : received > expected  ? "longer than announced"
                        : received == expected ? "not written"
                                               : "incomplete";
  Guarded([&] {
    Record("transfer", std::string(localPath) + " received " + Number(received) + " of " +
                           Number(expected) + " bytes in " + Number(elapsedMs) + " ms: " + outcome);
  });
}

void RecordHash(const char* path, const TSha256Digest* computed, const char* expected, bool matched) {
  Guarded([&] {
    std::string line = path;
    if (computed) {
      char hex[2 * kSha256Size + 1];
      FormatSha256(*computed, hex);
      line += std::string(" computed ") + hex;
    }
    line += std::string(" expected ") + (expected ? expected : "none") + (matched ? ": match" : ": mismatch");
    Record("sha256", line);
  });
}

void RecordCatalogueSignature(const char* baseUrl, const char* verdict) {
  Guarded([&] { Record("signature", RedactUrl(baseUrl) + kCatalogueArchive + ": " + verdict); });
}

void RecordInstallerEnded(const char* commandLine, unsigned long exitCode, unsigned long elapsedMs) {
  Guarded([&] {
    Record("install", std::string(commandLine) + ": exit code " + Number(exitCode) + " after " +
                          Number(elapsedMs) + " ms");
  });
}

void RecordInstallerNotStarted(const char* commandLine, unsigned long error) {
  Guarded([&] { Record("install", std::string(commandLine) + ": not started (error " + Number(error) + ")"); });
}
