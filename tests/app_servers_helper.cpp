#include "app_servers_helper.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// "/tmp/x" -> "Z:\tmp\x": Wine shows the Unix root as drive Z.
std::string WindowsPath(const std::string& unixPath) {
  if (unixPath.empty() || unixPath[0] != '/') return unixPath;
  std::string out = "Z:" + unixPath;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

TTestServers LoadServers() {
  TTestServers s;
  const char* info = getenv("IZ_SERVERS_INFO");
  if (!info || !*info) return s;
  std::ifstream in(WindowsPath(info));
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "NGINX_PORT") s.NginxPort = atoi(value.c_str());
    if (key == "FAULT_PORT") s.FaultPort = atoi(value.c_str());
    if (key == "DEAD_PORT") s.DeadPort = atoi(value.c_str());
    if (key == "DIR_WIN") s.Dir = value;
    if (key == "WWW_WIN") s.Www = value;
  }
  s.Ok = s.NginxPort && s.FaultPort && s.DeadPort && !s.Www.empty();
  return s;
}

std::string Url(int port, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(port) + "/" + path;
}

void MakeFolders(const std::string& filePath) {
  for (size_t i = 3; i < filePath.size(); ++i) {
    if (filePath[i] == '\\') CreateDirectoryA(filePath.substr(0, i).c_str(), nullptr);
  }
}

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}

}  // namespace

std::string TTestServers::Nginx(const std::string& path) const { return Url(NginxPort, path); }
std::string TTestServers::Fault(const std::string& path) const { return Url(FaultPort, path); }
std::string TTestServers::Dead(const std::string& path) const { return Url(DeadPort, path); }

void TTestServers::PutFile(const std::string& relativePath, const std::string& content) const {
  std::string path = Www + "\\" + relativePath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  MakeFolders(path);
  WriteFileBytes(path, content);
}

std::string TTestServers::FaultLog() const { return ReadFileBytes(Dir + "\\fault-requests.log"); }

std::string TestDataFile(const std::string& relativePath) {
  std::string path = WindowsPath(IZ_TEST_DATA) + "\\" + relativePath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

const TTestServers& Servers() {
  static const TTestServers servers = LoadServers();
  return servers;
}

std::unique_ptr<TInstallZelmDlgClient> MakeDialog() {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  auto dialog = std::make_unique<TInstallZelmDlgClient>(nullptr, kMainDialogTemplate);
  // The set-up fetches only into an empty document: a placeholder keeps it
  // from going out to the servers the program was built with.
  dialog->CatalogueDoc.AppendChild(new TXmlTreeNode(nullptr, true));
  dialog->Create();
  dialog->CatalogueDoc.DeleteChildren();
  PumpFor(0);
  return dialog;
}

TScratchDir::TScratchDir() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  static int serial = 0;
  Dir = std::string(temp) + "izdl" + std::to_string(GetCurrentProcessId()) + "_" +
        std::to_string(++serial);
  if (!Dir.empty() && Dir.back() == '\\') Dir.pop_back();
  RemoveTree(Dir);
  CreateDirectoryA(Dir.c_str(), nullptr);
}

TScratchDir::~TScratchDir() { RemoveTree(Dir); }

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void SetWriteTime(const std::string& path, const SYSTEMTIME& utc) {
  FILETIME ft;
  SystemTimeToFileTime(&utc, &ft);
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  SetFileTime(file, nullptr, nullptr, &ft);
  CloseHandle(file);
}

std::string FaultBody(size_t n) {
  std::string body(n, '\0');
  for (size_t i = 0; i < n; ++i) body[i] = static_cast<char>(i % 251);
  return body;
}

void PumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (ms) Sleep(5);
  } while (GetTickCount() - start < ms);
}
