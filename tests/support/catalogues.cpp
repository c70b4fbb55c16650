#include "support/catalogues.h"

#include <string>

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

void AddBigCatalogue(TXmlTreeNode& doc, int groups, int perGroup, int flat) {
  AddNode(&doc, "Version", {{"name", "首个版本"}});
  for (int g = 0; g < groups; ++g) {
    const std::string name = "地区" + std::to_string(g);
    TXmlTreeNode* group = AddNode(&doc, "Group", {{"name", name.c_str()}});
    if (g % 4 == 0) group->SetAttribute("state", "3");
    if (g % 4 == 1) group->SetAttribute("state", "1");
    if (g % 8 == 2) AddNode(group, "Version", {{"name", "组版本"}});
    for (int i = 0; i < perGroup; ++i) {
      const std::string pname = name + "定额" + std::to_string(i);
      TXmlTreeNode* package = AddNode(group, "Dek", {{"name", pname.c_str()}, {"fileName", "p.exe"}});
      if (i % 3 == 0) package->SetAttribute("state", "2");
      if (i % 5 == 0) AddNode(package, "Version", {{"name", "1.0"}});
    }
    if (g % 4 == 0) {
      // A partly chosen group inside a collapsed and inside an expanded one.
      TXmlTreeNode* inner = AddNode(group, "Group", {{"name", "子目录"}, {"state", "3"}});
      AddNode(inner, "Dek", {{"name", "子定额"}, {"fileName", ""}, {"state", "2"}});
    }
  }
  for (int i = 0; i < flat; ++i) {
    const std::string name = "顶层" + std::to_string(i);
    AddNode(&doc, "Tool", {{"name", name.c_str()}, {"fileName", "t.exe"}, {"state", i % 2 ? "2" : "02"}});
  }
  AddNode(&doc, "Version", {{"name", "末个版本"}});
}
