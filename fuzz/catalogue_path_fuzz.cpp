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
#include "app/install_walk.h"
#include "app/settings_file.h"
#include "app/uninstall_walk.h"
#include "markup/markup.h"
#include "markup/memory_stream.h"

// The settings file is the host application's and the fuzzer has none: the
// uninstall walk's reads find it empty and its writes go nowhere.
std::vector<std::string> ReadDekKeys() { return {}; }
bool ReadDekValue(const char*, char* value) {
  value[0] = 0;
  return false;
}
void RemoveDekRecord(const char*) {}

namespace {

// The run's view of a world in which a download succeeds exactly for the
// names the program would fetch, and every installer runs and records.
class TFuzzHost : public TInstallRunHost {
 public:
  bool Cancelled() override { return false; }
  bool Pump() override { return true; }
  bool CancelAsked() override { return false; }
  void ShowProgress(unsigned) override {}
  void AppendLog(const char* text) override { Log += text; }
  void RefreshLog() override {}
  bool Download(TXmlTreeNode* element, float& speed, const char*) override {
    speed = 1.5f;
    return IsBareFileName(element->GetAttribute(kAttrFileName));
  }
  int Draw() override { return ++Draws; }
  bool RunInstaller(const char* fileName, unsigned long& exitCode) override {
    exitCode = static_cast<unsigned char>(fileName[0]) % 3 == 0 ? 1603 : 0;
    return IsBareFileName(fileName);
  }
  bool IsDekRecorded(const char* name) override { return (name[0] & 1) != 0; }

  std::string Log;
  int Draws = 0;
};

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
  TFuzzHost host;
  DownloadAndInstall(root, host, "http://127.0.0.1:1/download/", "http://127.0.0.1:2/download/");
  std::vector<std::string> keys;
  for (TXmlTreeNode* node = root.NextInDocument(); node && keys.size() < 64;
       node = node->NextInDocument())
    keys.push_back(node->GetAttribute(kAttrName));
  KeysToRemove(root, keys);
  return 0;
}
