#include "app_window_helper.h"

#include <commctrl.h>

#include "support/node_builder.h"

void AddSampleCatalogue(TXmlTreeNode& root) {
  root.Name = "InstallFiles";
  AddNode(&root, "Version", {{"name", "2024.06"}});
  TXmlTreeNode* bj = AddNode(&root, "Dek", {{"name", "北京市定额库"}, {"path", "beijing"}, {"state", "3"}});
  TXmlTreeNode* p = AddNode(bj, "Dek", {{"name", "北京2012建筑工程预算定额"}, {"fileName", "bj2012jz.exe"}, {"state", "2"}});
  AddNode(p, "Version", {{"name", "3.1"}});
  AddNode(bj, "Dek", {{"name", "北京2012安装工程预算定额"}, {"fileName", "bj2012az.exe"}, {"state", "2"}});
  AddNode(bj, "Dek", {{"name", "北京2012市政工程预算定额"}, {"fileName", "bj2012sz.exe"}});
  TXmlTreeNode* old = AddNode(bj, "Dek", {{"name", "北京2001定额（旧版）"}});
  AddNode(old, "Dek", {{"name", "北京2001建筑工程"}, {"fileName", "bj2001jz.exe"}});
  TXmlTreeNode* sh = AddNode(&root, "Dek", {{"name", "上海市定额库"}, {"path", "shanghai"}});
  AddNode(sh, "Dek", {{"name", "上海2016建筑和装饰工程"}, {"fileName", "sh2016jz.exe"}});
  AddNode(sh, "Dek", {{"name", "上海2016安装工程"}, {"fileName", "sh2016az.exe"}});
  TXmlTreeNode* gd = AddNode(&root, "Dek", {{"name", "广东省定额库"}, {"path", "guangdong"}, {"state", "3"}});
  AddNode(gd, "Dek", {{"name", "广东2018房屋建筑与装饰工程"}, {"fileName", "gd2018fw.exe"}, {"state", "2"}});
  AddNode(gd, "Dek", {{"name", "广东2018通用安装工程"}, {"fileName", "gd2018az.exe"}});
  AddNode(&root, "Dek", {{"name", "全国统一定额"}, {"path", "national"}});
}

TTestMainWindow::TTestMainWindow(int cmdShow) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  CmdShow = cmdShow;
  Started = InitInstance();
}

void TTestMainWindow::InitMainWindow() {
  TInstallZelmApp::InitMainWindow();
  Dialog = static_cast<TInstallZelmDlgClient*>(GetMainWindow()->GetClientWindow());
  // A catalogue that is already there is not fetched again.
  AddSampleCatalogue(Dialog->CatalogueDoc);
}
