// The whole way of a catalogue from the network to the two runs: the input
// is taken as a downloaded InstallFiles.zip, opened from memory, its
// InstallFiles.xml found and extracted within the 64 MiB bound as the fetch
// does, loaded into a document, and walked as the download-and-install run
// (the "state" reading, the file-name rule, the server order and the lists)
// and the uninstall run (the keep set) walk it. Any crash, out-of-bounds
// access, leak or hang is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/catalogue_archive.h"
#include "app/settings_file.h"
#include "app/uninstall_walk.h"
#include "markup/markup.h"
#include "markup/memory_stream.h"
#include "support/fake_install_host.h"

// The settings file is the host application's and the fuzzer has none: the
// uninstall walk's reads find it empty and its writes go nowhere.
std::vector<std::string> ReadDekKeys() { return {}; }
bool ReadDekValue(const char*, char* value) {
  value[0] = 0;
  return false;
}
void RemoveDekRecord(const char*) {}

namespace {

// The world the run sees: both servers hold exactly the names the program
// would fetch, every installer starts, some end with a failure code, some
// quota libraries leave their record, and the draws vary the server order.
void Populate(TXmlTreeNode& root, TFakeInstallHost& host) {
  int draw = 0;
  for (TXmlTreeNode* node = root.NextInDocument(); node; node = node->NextInDocument()) {
    const char* file = node->GetAttribute(kAttrFileName);
    const char* name = node->GetAttribute(kAttrName);
    if (IsBareFileName(file)) {
      host.Mirror1.insert(file);
      host.Mirror2.insert(file);
      host.Codes[file] = static_cast<unsigned char>(file[0]) % 3 == 0 ? 1603 : 0;
    }
    if (name[0] & 1) host.Recorded.insert(name);
    host.Draws.push_back(++draw);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ZipHandle zip = ZipOpenMemory(data, static_cast<unsigned>(size), nullptr);
  if (!zip) return 0;
  ZipEntryInfo info;
  std::string catalogue;
  int index = FindArchiveMember(zip, kCatalogueMember, &info);
  bool read = index >= 0 && ReadArchiveMember(zip, index, info, kCatalogueMaxSize, &catalogue);
  ZipClose(zip);
  if (!read) return 0;

  TXmlTreeNode root(nullptr, true);
  TMemoryStream in(catalogue.data(), catalogue.size());
  LoadDocument(root, in);
  TFakeInstallHost host;
  Populate(root, host);
  host.Run(root);
  std::vector<std::string> keys;
  for (TXmlTreeNode* node = root.NextInDocument(); node && keys.size() < 64;
       node = node->NextInDocument())
    keys.push_back(node->GetAttribute(kAttrName));
  KeysToRemove(root, keys);
  return 0;
}
