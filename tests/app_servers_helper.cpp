#include "app_servers_helper.h"

#include <commctrl.h>

#include <cstdlib>
#include <sstream>

namespace {

TTestServers LoadServers() {
  TTestServers s;
  const char* info = getenv("IZ_SERVERS_INFO");
  if (!info || !*info) return s;
  std::istringstream in(ReadFileBytes(HostPath(info)));
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

std::string FaultBody(size_t n) {
  std::string body(n, '\0');
  for (size_t i = 0; i < n; ++i) body[i] = static_cast<char>(i % 251);
  return body;
}
