// Parses a generated catalogue (10,000 packages in 500 groups, UTF-8 with
// Chinese names and every catalogue attribute) with our parser, from a
// binary file stream as the catalogue fetch does, and times `xmllint
// --noout` on the same file in the same run. Prints both and the ratio.
// Usage: markup_parse_bench [FILE] [REPEATS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "markup/markup.h"

namespace {

const char* const kWords[] = {u8"全国", u8"建筑", u8"装饰", u8"安装", u8"市政", u8"园林",
                              u8"定额", u8"工程", u8"消耗量", u8"计价", u8"人工", u8"材料"};

std::string Word(unsigned n) { return kWords[n % (sizeof kWords / sizeof kWords[0])]; }

void Generate(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<InstallFiles>\r\n";
  for (int g = 0; g < 500; ++g) {
    out << "  <Group name=\"" << Word(g) << Word(g / 7) << u8"分组 " << g << "\" path=\"g" << g
        << "\" state=\"" << (g % 3 == 0 ? "3" : "1") << "\">\r\n";
    for (int p = 0; p < 20; ++p) {
      int n = g * 20 + p;
      out << "    <" << (p % 4 ? "Dek" : "Tool") << " name=\"" << Word(n) << Word(n / 3)
          << Word(n / 11) << u8"库 " << n << " &amp; " << u8"补充" << "\" fileName=\"pkg" << n
          << ".exe\" path=\"g" << g << "/p" << p % 5 << "\" modifyDate=\"20"
          << (10 + n % 15) << "-" << (1 + n % 12) << "-" << (1 + n % 28) << " 12:" << (n % 60)
          << ":00\" state=\"" << (n % 2 ? "2" : "1") << "\">" << u8"说明：" << Word(n)
          << u8"定额库，适用于" << Word(n + 5) << u8"工程。" << "</" << (p % 4 ? "Dek" : "Tool")
          << ">\r\n";
    }
    out << "  </Group>\r\n";
  }
  out << "  <Version name=\"2.0\"/>\r\n</InstallFiles>\r\n";
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = argc > 1 ? argv[1] : "markup_bench_catalogue.xml";
  int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
  if (repeats < 1) repeats = 1;
  Generate(path);
  std::ifstream probe(path, std::ios::binary | std::ios::ate);
  double megabytes = static_cast<double>(probe.tellg()) / 1e6;

  double ours = 1e9;
  int nodes = 0;
  for (int i = 0; i < repeats; ++i) {
    auto start = std::chrono::steady_clock::now();
    std::ifstream in(path, std::ios::binary);
    TXmlTreeNode root(nullptr, true);
    bool ok = LoadDocument(root, in);
    double t = Seconds(start);  // includes freeing nothing yet: the tree is alive
    if (!ok || root.Name != "InstallFiles") {
      std::fprintf(stderr, "markup bench: parse failed\n");
      return 1;
    }
    nodes = root.CountNodes();
    if (t < ours) ours = t;
  }

  double lint = 1e9;
  std::string command = "xmllint --noout '" + path + "'";
  for (int i = 0; i < repeats; ++i) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "markup bench: xmllint failed (install libxml2-utils)\n");
      return 1;
    }
    double t = Seconds(start);
    if (t < lint) lint = t;
  }

  std::printf("catalogue: %.2f MB, %d nodes (best of %d)\n", megabytes, nodes, repeats);
  std::printf("markup parser:  %8.1f ms\n", ours * 1e3);
  std::printf("xmllint --noout:%8.1f ms (process included)\n", lint * 1e3);
  std::printf("ratio parser/xmllint: %.2f\n", ours / lint);
  return 0;
}
