#include "app/uninstall_walk.h"

#include <windows.h>

#include <set>

#include "app/catalogue.h"
#include "app/settings_file.h"
#include "markup/markup.h"

std::vector<std::string> KeysToRemove(TXmlTreeNode& catalogue, const std::vector<std::string>& keys) {
  std::set<std::string> keepSet;
  for (TXmlTreeNode* element = catalogue.NextInDocument(); element; element = element->NextInDocument()) {
    if (element->Name == kTagDek && IsChosen(*element)) keepSet.insert(element->GetAttribute(kAttrName));
  }
  std::vector<std::string> removeList;
  for (const std::string& key : keys) {
    if (!keepSet.count(key)) removeList.push_back(key);
  }
  return removeList;
}

void UninstallUnselected(TXmlTreeNode& catalogue, TUninstallRunHost& host) {
  // The whole list is taken before the first pump: a tree click handled in
  // between must not change which records this run removes.
  const std::vector<std::string> removeList = KeysToRemove(catalogue, ReadDekKeys());
  for (const std::string& key : removeList) {
    host.AppendLog(("卸载: " + key + "...\r\n").c_str());
    host.RefreshLog();
    const bool goOn = host.PumpMessages();
    char value[kDekValueSize] = "";
    if (ReadDekValue(key.c_str(), value)) {
      DeleteFileA(value);  // a file already gone or in use still loses its record
      RemoveDekRecord(key.c_str());
    }
    if (!goOn) break;
  }
}
