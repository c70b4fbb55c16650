// Download benchmark, run under Wine by bench/download_bench.sh.
//
//   download_bench.exe URL FOLDER [ROUNDS]
//
// Fetches URL into FOLDER in two ways, alternating, ROUNDS times each (3 by
// default), and prints the best time of each:
//   bare      the least a transfer of this kind costs on the platform: one
//             request, InternetReadFile of 10240 bytes, write, drain the
//             message queue, until the body ends;
//   download  DownloadFile with the real main dialog (progress bar, pump,
//             skip test, time-outs).
// Output lines are "KEY VALUE" for the script: bytes, the two best times in
// milliseconds, and the peak working set of the process in bytes.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/download.h"
#include "app_servers_helper.h"
#include "markup/markup.h"

namespace {

// Returns bytes received, 0 on failure.
unsigned long long BareLoop(const char* url, const std::string& path) {
  HINTERNET root = InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET request = InternetOpenUrlA(root, url, nullptr, 0, INTERNET_FLAG_RELOAD, 0);
  unsigned long long received = 0;
  if (request) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    static char block[kTransferBlockSize];
    for (;;) {
      DWORD read = 0;
      BOOL ok = InternetReadFile(request, block, sizeof block, &read);
      out.write(block, read);
      received += read;
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      if (!ok || read == 0) break;
    }
    InternetCloseHandle(request);
  }
  InternetCloseHandle(root);
  return received;
}

unsigned long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: download_bench URL FOLDER [ROUNDS]\n");
    return 2;
  }
  std::string url = argv[1];
  std::string folder = argv[2];
  int rounds = argc > 3 ? atoi(argv[3]) : 3;
  size_t slash = url.rfind('/');
  std::string base = url.substr(0, slash + 1), name = url.substr(slash + 1);
  std::string local = folder + "\\" + name;

  auto dialog = MakeDialog();
  TXmlTreeNode element(nullptr, false);
  element.SetAttribute("fileName", name.c_str());

  DWORD bestBare = 0xFFFFFFFF, bestDownload = 0xFFFFFFFF;
  unsigned long long bytes = 0;
  for (int round = 0; round < rounds; ++round) {
    DeleteFileA(local.c_str());
    DWORD start = GetTickCount();
    bytes = BareLoop(url.c_str(), local);
    DWORD bare = GetTickCount() - start;
    if (bytes == 0) {
      fprintf(stderr, "bare loop received nothing from %s\n", url.c_str());
      return 1;
    }
    if (bare < bestBare) bestBare = bare;

    DeleteFileA(local.c_str());  // else the skip test would find it current
    float speed = 0;
    start = GetTickCount();
    bool ok = DownloadFile(*dialog, folder.c_str(), &element, speed, base.c_str());
    DWORD download = GetTickCount() - start;
    if (!ok || FileSize(local) != bytes) {
      fprintf(stderr, "DownloadFile failed (%d, %llu bytes)\n", ok, FileSize(local));
      return 1;
    }
    if (download < bestDownload) bestDownload = download;
    fprintf(stderr, "round %d: bare %lu ms, DownloadFile %lu ms\n", round + 1, bare, download);
  }
  DeleteFileA(local.c_str());

  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  printf("bytes %llu\n", bytes);
  printf("bare_ms %lu\n", bestBare);
  printf("download_ms %lu\n", bestDownload);
  printf("peak_working_set %lu\n", static_cast<unsigned long>(memory.PeakWorkingSetSize));
  return 0;
}
