#include "app/uninstall_walk.h"

#include <windows.h>

#include "app/catalogue.h"
#include "app/log_text.h"
#include "app/settings_file.h"
#include "markup/markup.h"

namespace {

// Names as the settings file's profile functions compare keys: ignoring
// letter case, character by character in the system code page, so that the
// trail byte of a GBK character (which may look like an ASCII letter) is
// never folded on its own. String sort: a hyphen counts like any other sign.
bool SameKey(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a.c_str(), -1,
                        b.c_str(), -1) == CSTR_EQUAL;
}

bool IsKept(const std::vector<std::string>& keepSet, const std::string& key) {
  for (const std::string& name : keepSet)
    if (SameKey(name, key)) return true;
  return false;
}

}  // namespace

bool HasLoadedCatalogue(const TXmlTreeNode& catalogue) {
  for (const DListNode* link = catalogue.Children.First(); link != catalogue.Children.End();
       link = link->Next) {
    if (TXmlTreeNode::NodeOf(link)->Name != kTagVersion) return true;
  }
  return false;
}

std::vector<std::string> KeysToRemove(TXmlTreeNode& catalogue, const std::vector<std::string>& keys) {
  std::vector<std::string> keepSet;
  for (TXmlTreeNode* element = catalogue.NextInDocument(); element; element = element->NextInDocument()) {
    if (element->Name == kTagDek && IsChosen(*element)) keepSet.push_back(element->GetAttribute(kAttrName));
  }
  std::vector<std::string> removeList;
  for (const std::string& key : keys) {
    if (!IsKept(keepSet, key)) removeList.push_back(key);
  }
  return removeList;
}

void UninstallUnselected(TXmlTreeNode& catalogue, TRunHost& host) {
  // Without a catalogue nothing could be chosen, and "everything not
  // chosen" would be every installed library: no user means that.
  if (!HasLoadedCatalogue(catalogue)) {
    host.AppendLog(kLogNoCatalogueToUninstall);
    host.RefreshLog();
    return;
  }
  // The whole list is taken before the first pump: a tree click handled in
  // between must not change which records this run removes.
  const std::vector<std::string> removeList = KeysToRemove(catalogue, ReadDekKeys());
  for (const std::string& key : removeList) {
    host.AppendLog(LogUninstalling(key).c_str());
    host.RefreshLog();
    const bool goOn = host.Pump();
    char value[kDekValueSize] = "";
    if (ReadDekValue(key.c_str(), value)) {
      DeleteFileA(value);  // a file already gone or in use still loses its record
      RemoveDekRecord(key.c_str());
    }
    if (!goOn) break;
  }
}
