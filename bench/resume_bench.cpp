// Resume benchmark, run under Wine by bench/resume_bench.sh.
//
//   resume_bench.exe BASEURL FOLDER NAME [SHA256]
//
// One DownloadFile of NAME from BASEURL into FOLDER with the real main
// dialog, as a package download makes it (with its "sha256" when given).
// The server cuts the transfer; what it sends after the cut is counted on
// its side. Prints "ok 0|1", "resumed 0|1" and "ms N" for the script.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/download.h"
#include "app_servers_helper.h"
#include "markup/markup.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: resume_bench BASEURL FOLDER NAME [SHA256]\n");
    return 2;
  }
  auto dialog = MakeDialog();
  TXmlTreeNode element(nullptr, false);
  element.SetAttribute("fileName", argv[3]);
  if (argc > 4) element.SetAttribute("sha256", argv[4]);
  TPackageDownload package;
  float speed = 0;
  DWORD start = GetTickCount();
  bool ok = DownloadFile(*dialog, argv[2], &element, speed, argv[1], 0, &package);
  DWORD elapsed = GetTickCount() - start;
  package.Held.Release();
  printf("ok %d\nresumed %d\nms %lu\n", ok ? 1 : 0, package.Resumed ? 1 : 0, elapsed);
  return ok ? 0 : 1;
}
