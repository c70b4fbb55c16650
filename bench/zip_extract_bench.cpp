// Extracts one large deflated entry (compressible catalogue-like text) with
// ZipExtractToFile and with Info-ZIP's `unzip -o -qq` in the same run, and
// prints both times and their ratio. Usage: zip_extract_bench [MEGABYTES]
// (default 200). Needs zip and unzip on the PATH.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zip/unzip.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool MakeText(const std::string& path, long megabytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  unsigned state = 1;
  long long written = 0, target = megabytes * 1024LL * 1024LL;
  char line[128];
  while (written < target) {
    state = state * 1103515245u + 12345u;
    int n = std::snprintf(line, sizeof line,
                          "  <Dek name=\"quota library %u\" fileName=\"dek%05u.exe\" path=\"dek/%u\" "
                          "modifyDate=\"2021-03-%02u\" />\r\n",
                          (state >> 8) % 100000, (state >> 12) % 100000, (state >> 20) % 64,
                          (state >> 3) % 28 + 1);
    written += static_cast<long long>(std::fwrite(line, 1, static_cast<size_t>(n), f));
  }
  return std::fclose(f) == 0;
}

long long FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  long megabytes = argc > 1 ? std::atol(argv[1]) : 200;
  char folderTemplate[] = "/tmp/zip_bench_XXXXXX";
  if (!mkdtemp(folderTemplate)) return 1;
  std::string folder = folderTemplate;
  std::string text = folder + "/catalogue.xml", archive = folder + "/big.zip";
  std::printf("zip_extract_bench: %ld MB of text, deflated by Info-ZIP zip\n", megabytes);
  if (!MakeText(text, megabytes) ||
      std::system(("cd " + folder + " && zip -q big.zip catalogue.xml").c_str()) != 0) {
    std::fprintf(stderr, "zip_extract_bench: cannot make the archive\n");
    return 1;
  }
  long long expected = FileSize(text);
  std::printf("archive: %lld bytes for %lld bytes\n", FileSize(archive), expected);
  unlink(text.c_str());

  const int kRounds = 3;
  double ours = 1e9, theirs = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    ZipHandle zip = ZipOpenFile(archive.c_str(), nullptr);
    ZipResult r = zip ? ZipExtractToFile(zip, 0, (folder + "/ours.xml").c_str()) : ZipNoFile;
    if (zip) ZipClose(zip);
    ours = std::min(ours, Seconds(start));
    if (r != ZipOk || FileSize(folder + "/ours.xml") != expected) {
      std::fprintf(stderr, "zip_extract_bench: our extraction failed (0x%x)\n", r);
      return 1;
    }
    start = std::chrono::steady_clock::now();
    if (std::system(("unzip -o -qq " + archive + " -d " + folder + "/unzip").c_str()) != 0) {
      std::fprintf(stderr, "zip_extract_bench: unzip failed\n");
      return 1;
    }
    theirs = std::min(theirs, Seconds(start));
  }
  std::printf("ZipExtractToFile: %.3f s (best of %d)\n", ours, kRounds);
  std::printf("unzip -o -qq:     %.3f s (best of %d)\n", theirs, kRounds);
  std::printf("ratio ours/unzip: %.2f (below 1 is faster than unzip)\n", ours / theirs);
  std::system(("rm -rf " + folder).c_str());
  return 0;
}
