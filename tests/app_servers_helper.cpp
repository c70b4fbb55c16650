#include "app_servers_helper.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cctype>
#include <cstdlib>
#include <map>

#include "app/download.h"
#include "app/package_hash.h"
#include "support/node_builder.h"

namespace {

TTestServers LoadServers() {
  std::map<std::string, std::string> info = ReadServerInfo("IZ_SERVERS_INFO");
  TTestServers s;
  s.NginxPort = atoi(info["NGINX_PORT"].c_str());
  s.FaultPort = atoi(info["FAULT_PORT"].c_str());
  s.DeadPort = atoi(info["DEAD_PORT"].c_str());
  s.Dir = info["DIR_WIN"];
  s.Www = info["WWW_WIN"];
  s.Ok = s.NginxPort && s.FaultPort && s.DeadPort && !s.Www.empty();
  return s;
}

}  // namespace

std::string LoopbackUrl(const char* scheme, int port, const std::string& path) {
  return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/" + path;
}

std::string TTestServers::Nginx(const std::string& path) const {
  return LoopbackUrl("http", NginxPort, path);
}
std::string TTestServers::Fault(const std::string& path) const {
  return LoopbackUrl("http", FaultPort, path);
}
std::string TTestServers::Dead(const std::string& path) const {
  return LoopbackUrl("http", DeadPort, path);
}

void TTestServers::PutFile(const std::string& relativePath, const std::string& content) const {
  PutSiteFile(Www, relativePath, content);
}

std::string TTestServers::FaultLog() const { return ReadFileBytes(Dir + "\\fault-requests.log"); }

std::string TTestServers::FaultLogOnce(const std::function<bool(const std::string&)>& done, DWORD ms) const {
  const DWORD start = GetTickCount();
  for (;;) {
    std::string log = FaultLog();
    if (done(log) || GetTickCount() - start >= ms) return log;
    Sleep(20);
  }
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
  PumpWaiting();
  return dialog;
}

std::string FaultBody(size_t n) {
  std::string body(n, '\0');
  for (size_t i = 0; i < n; ++i) body[i] = static_cast<char>(i % 251);
  return body;
}

std::string Sha256Hex(const std::string& data) {
  TSha256 hash;
  TSha256Digest digest = {};
  EXPECT_TRUE(hash.Open() && hash.Update(data.data(), data.size()) && hash.Finish(&digest));
  char text[2 * kSha256Size + 1];
  FormatSha256(digest, text);
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

int ProgressPos(TInstallZelmDlgClient& d) {
  return static_cast<int>(SendDlgItemMessageA(d.GetHandle(), kIdProgress, PBM_GETPOS, 0, 0));
}

int ProgressHigh(TInstallZelmDlgClient& d) {
  return static_cast<int>(SendDlgItemMessageA(d.GetHandle(), kIdProgress, PBM_GETRANGE, FALSE, 0));
}

std::string LogControlText(TInstallZelmDlgClient& d) {
  char text[1024] = {};
  GetDlgItemTextA(d.GetHandle(), kIdLog, text, sizeof(text));
  return text;
}

void TDialogTest::TearDown() { SetTransferLimits(kTransferLimits); }

bool TDialogTest::Get(TXmlTreeNode* element, const std::string& baseUrl) {
  return DownloadFile(*Dialog, Local.Path().c_str(), element, Speed, baseUrl.c_str());
}

TXmlTreeNode* TDialogTest::Package(const char* fileName) {
  return AddNode(&Root, "Dek", {{"fileName", fileName}});
}
