#include "app/support_log.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/win32_handles.h"

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";
const size_t kBomLength = sizeof(kUtf8Bom) - 1;
// Window lines go to the file in writes of about this much text, so that a
// long log never needs one write bigger than the file may be.
const size_t kWindowChunk = 64 * 1024;

// Keeps the caller's last error: a log write happens between a failing call
// and the code that reads why it failed.
class TKeepLastError {
 public:
  TKeepLastError() : Error(GetLastError()) {}
  ~TKeepLastError() { SetLastError(Error); }

 private:
  DWORD Error;
};

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

void FormatUtcStamp(const SYSTEMTIME& utc, char (&stamp)[kUtcStampLength + 1]) {
  snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", utc.wYear % 10000u,
           utc.wMonth % 100u, utc.wDay % 100u, utc.wHour % 100u, utc.wMinute % 100u,
           utc.wSecond % 100u, utc.wMilliseconds % 1000u);
}

std::string AnsiToUtf8(const char* text, size_t length) {
  if (length == 0 || length > 0x7FFFFFFF) return std::string();
  const int size = static_cast<int>(length);
  int wide = MultiByteToWideChar(CP_ACP, 0, text, size, nullptr, 0);
  if (wide <= 0) return std::string();
  std::vector<wchar_t> buffer(wide);
  if (MultiByteToWideChar(CP_ACP, 0, text, size, buffer.data(), wide) != wide) return std::string();
  int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string utf8(bytes, '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, &utf8[0], bytes, nullptr, nullptr) != bytes)
    return std::string();
  return utf8;
}

std::string SupportLogText(const char* text, size_t length) {
  // A GBK character is at most two bytes and three in UTF-8: this much code
  // page text always fills a line, and no more is converted.
  const size_t enough = kSupportLogMaxLine + 2;
  std::string line = AnsiToUtf8(text, length < enough ? length : enough);
  for (char& c : line) {
    // UTF-8 keeps bytes below 0x80 for ASCII alone, so no character is hit.
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) c = '?';
  }
  if (line.size() > kSupportLogMaxLine) {
    size_t cut = kSupportLogMaxLine - 3;
    while (cut > 0 && IsUtf8Continuation(line[cut])) --cut;
    line.resize(cut);
    line += "...";
  }
  return line;
}

bool TSupportLog::Start(const char* folder) {
  Stop();
  TPathBuffer path, oldPath;
  if (!JoinPath(path, folder, kSupportLogName) || !JoinPath(oldPath, folder, kSupportLogOldName))
    return false;
  memcpy(Path, path, sizeof Path);
  memcpy(OldPath, oldPath, sizeof OldPath);
  return true;
}

void TSupportLog::Stop() {
  Path[0] = 0;
  OldPath[0] = 0;
}

void TSupportLog::Follow(const std::string* logText, size_t* saved) {
  WindowText = saved ? logText : nullptr;
  WindowSaved = logText ? saved : nullptr;
}

void TSupportLog::Unfollow(const std::string* logText) {
  if (WindowText == logText) Follow(nullptr, nullptr);
}

bool TSupportLog::Write(const char* kind, const char* text, size_t length) {
  if (WindowText) WriteWindowLines(*WindowText, *WindowSaved);
  return WriteLines(kind, text, length);
}

bool TSupportLog::WriteLines(const char* kind, const char* text, size_t length) {
  // Out of memory (a catalogue too big for the address space is handled
  // further up while the window's lines still come here), the lines go.
  try {
    return IsStarted() && Append(Lines(kind, text, length));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::string TSupportLog::Lines(const char* kind, const char* text, size_t length) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char stamp[kUtcStampLength + 1];
  FormatUtcStamp(now, stamp);
  std::string lines;
  const char* p = text;
  const char* end = text + length;
  for (;;) {
    const char* eol = p;
    while (eol < end && *eol != '\r' && *eol != '\n') ++eol;
    lines.append(stamp).append(" ").append(kind);
    if (eol > p) lines.append(" ").append(SupportLogText(p, eol - p));
    lines.append("\r\n");
    if (eol == end) break;
    p = eol + (eol[0] == '\r' && eol + 1 < end && eol[1] == '\n' ? 2 : 1);
    if (p == end) break;  // the text ended with its line break
  }
  return lines;
}

bool TSupportLog::WriteWindowLines(const std::string& logText, size_t& saved) {
  if (saved > logText.size()) saved = logText.size();
  size_t last = logText.rfind("\r\n");
  if (last == std::string::npos || last + 2 <= saved) return true;
  const size_t end = last + 2;
  bool ok = true;
  while (saved < end) {
    size_t chunkEnd = end;
    if (end - saved > kWindowChunk) {
      size_t cut = logText.rfind("\r\n", saved + kWindowChunk);
      chunkEnd = (cut != std::string::npos && cut >= saved ? cut : logText.find("\r\n", saved)) + 2;
    }
    // The last line break is the end of the last line, not an empty line.
    ok = WriteLines("window", logText.data() + saved, chunkEnd - saved - 2) && ok;
    saved = chunkEnd;
  }
  return ok;
}

bool TSupportLog::MakeRoom(size_t bytes) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(Path, GetFileExInfoStandard, &data)) return true;  // made by the write
  unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (size == 0 || size + bytes <= kSupportLogMaxBytes) return true;
  // When the file cannot be moved aside (the old one is open in an editor),
  // the lines are dropped rather than letting the file grow without end.
  return MoveFileExA(Path, OldPath, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool TSupportLog::Append(const std::string& lines) {
  TKeepLastError keep;
  if (!IsStarted() || lines.size() + kBomLength > kSupportLogMaxBytes) return false;
  if (!MakeRoom(lines.size())) return false;
  // Append-only access: every write lands at the end, also when another
  // copy of the program writes the same file.
  TKernelHandle file(CreateFileA(Path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return false;
  DWORD high = 0;
  DWORD low = GetFileSize(file.Get(), &high);
  if (low == INVALID_FILE_SIZE) return false;  // no file this program writes is that big
  std::string bytes;
  if (low == 0 && high == 0) bytes.assign(kUtf8Bom, kBomLength);
  bytes += lines;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

TSupportLog& SupportLog() {
  static TSupportLog log;
  return log;
}
