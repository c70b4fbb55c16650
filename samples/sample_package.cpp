// A sample package installer, the stand-in for the maker's real packages in
// the demo and the end-to-end tests.
//
// The program reads what to install from a block appended to its own file,
// so that one build serves every package of a catalogue: the package file on
// the server is this exe with a different block behind it. The block is text
// in the system code page, "key=value" lines, followed by its length as four
// little-endian bytes and the eight bytes "IZSAMPLE":
//
//   name=<quota-library name>   the key of the "Dek Files" record
//   target=<full path>          the quota-library file to install
//   record=yes|no|dangling      write the record; none; one naming a file
//                               that is not there (the target is removed)
//   delay=<milliseconds>        how long the "install" takes
//   runlog=<full path>          a file to which every start is appended
//   closehost=yes|no            ask the installing program's window to close
//                               just before exiting (a close request made
//                               while an installer runs)
//   exitcode=<number>           the code to exit with after installing, as a
//                               failing (1603) or restart-asking (3010)
//                               installer ends
//
// Started with "/auto /s" it installs silently and exits with 0 (or the
// exitcode given; 1 when it could not write its target). Started any other
// way it only says what it is, as a real package would open its wizard.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32_handles.h"

namespace {

constexpr char kMagic[] = "IZSAMPLE";
constexpr size_t kMagicLen = 8;
constexpr DWORD kMaxBlock = 64 * 1024;

struct SampleConfig {
  std::string name;
  std::string target;
  std::string record = "yes";
  DWORD delayMs = 0;
  std::string runLog;
  bool closeHost = false;
  DWORD exitCode = 0;
};

bool ReadOwnBlock(std::string& block) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return false;
  TKernelHandle owned(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!owned.IsOpen()) return false;
  HANDLE file = owned.Get();
  bool ok = false;
  DWORD size = GetFileSize(file, nullptr);
  char tail[4 + kMagicLen];
  DWORD got = 0;
  if (size != INVALID_FILE_SIZE && size >= sizeof tail &&
      SetFilePointer(file, static_cast<LONG>(size - sizeof tail), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
      ReadFile(file, tail, sizeof tail, &got, nullptr) && got == sizeof tail &&
      memcmp(tail + 4, kMagic, kMagicLen) == 0) {
    DWORD len = static_cast<unsigned char>(tail[0]) | static_cast<unsigned char>(tail[1]) << 8 |
                static_cast<unsigned char>(tail[2]) << 16 | static_cast<DWORD>(static_cast<unsigned char>(tail[3])) << 24;
    if (len <= kMaxBlock && len <= size - sizeof tail) {
      block.resize(len);
      ok = SetFilePointer(file, static_cast<LONG>(size - sizeof tail - len), nullptr, FILE_BEGIN) !=
               INVALID_SET_FILE_POINTER &&
           (len == 0 || (ReadFile(file, &block[0], len, &got, nullptr) && got == len));
    }
  }
  return ok;
}

SampleConfig ParseBlock(const std::string& block) {
  SampleConfig config;
  size_t pos = 0;
  while (pos < block.size()) {
    size_t end = block.find('\n', pos);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t eq = line.find('=');
    if (eq != std::string::npos) {
      std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "name") config.name = value;
      else if (key == "target") config.target = value;
      else if (key == "record") config.record = value;
      else if (key == "delay") config.delayMs = strtoul(value.c_str(), nullptr, 10);
      else if (key == "runlog") config.runLog = value;
      else if (key == "closehost") config.closeHost = value == "yes";
      else if (key == "exitcode") config.exitCode = strtoul(value.c_str(), nullptr, 10);
    }
    pos = end + 1;
  }
  return config;
}

// The arguments after the program's own (possibly quoted) path, trimmed.
std::string Arguments() {
  const char* p = GetCommandLineA();
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  std::string args(p);
  size_t first = args.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  size_t last = args.find_last_not_of(" \t");
  return args.substr(first, last - first + 1);
}

// Creates every missing folder above `file`.
void MakeParentFolders(const std::string& file) {
  for (size_t i = 3; i < file.size(); ++i) {
    if (file[i] == '\\') CreateDirectoryA(file.substr(0, i).c_str(), nullptr);
  }
}

bool WriteTarget(const SampleConfig& config) {
  MakeParentFolders(config.target);
  TKernelHandle file(CreateFileA(config.target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return false;
  std::string content = "quota library " + config.name + "\r\n";
  DWORD written = 0;
  return WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
         written == content.size();
}

void AppendRunLog(const SampleConfig& config, const std::string& args) {
  if (config.runLog.empty()) return;
  MakeParentFolders(config.runLog);
  TKernelHandle file(CreateFileA(config.runLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return;
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  const char* base = strrchr(self, '\\');
  std::string line = std::string(base ? base + 1 : self) + "|" + args + "|" + config.name + "\r\n";
  DWORD written = 0;
  WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string block;
  if (!ReadOwnBlock(block)) {
    MessageBoxA(nullptr, "这是沃蒙在线安装的示例安装包模板，本身不含安装内容。", "示例安装包", MB_OK);
    return 3;
  }
  SampleConfig config = ParseBlock(block);
  std::string args = Arguments();
  if (args != "/auto /s") {
    std::string text = "示例安装包：" + config.name + "\r\n请用 \"/auto /s\" 静默安装。";
    MessageBoxA(nullptr, text.c_str(), "示例安装包", MB_OK);
    return 2;
  }
  if (config.delayMs) Sleep(config.delayMs);
  bool installed = config.target.empty() || WriteTarget(config);
  if (installed && !config.name.empty() && config.record != "no") {
    if (config.record == "dangling") DeleteFileA(config.target.c_str());
    WritePrivateProfileStringA("Dek Files", config.name.c_str(), config.target.c_str(), "qmtz.ini");
  }
  AppendRunLog(config, args);
  if (config.closeHost) {
    // The host answers its messages while it waits for us, and refuses a
    // close request as long as we run.
    HWND host = FindWindowA(nullptr, "沃蒙在线安装");
    if (host) PostMessageA(host, WM_CLOSE, 0, 0);
  }
  return installed ? static_cast<int>(config.exitCode) : 1;
}
