// Growth of the markup layer on hostile document shapes. Each hostile shape
// is parsed and walked (NextInDocument over the whole tree) beside an
// ordinary nested catalogue of the same byte size built from the same kind
// of elements, and the cost per byte is printed relative to the ordinary
// one: work that grows linearly keeps the ratio near 1 whatever the size.
//   flat:   one root holding 100,000 package siblings
//   blanks: 256 KiB of blanks, a letter, then 100,000 empty child tags
// ReadInnerText runs on three shapes at two sizes, to show its growth:
//   unclosed:  <a><b>x<b>x<b>x...</a>        (one name, no end tags)
//   distinct:  <a><b0>x<b1>x<b2>x...</a>     (a new name each time)
//   nested:    <a><b><b>...</b></b>...</a>   (blocks of nested same names)
// Everything runs in memory; timings are printed, never checked.
// Usage: markup_shapes_bench [REPEATS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "markup/markup.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Package(int n) {
  return "<Dek name=\"p" + std::to_string(n) + "\" state=\"" + std::to_string(1 + n % 2) + "\"/>";
}

std::string Flat(int siblings) {
  std::string out = "<InstallFiles>";
  for (int n = 0; n < siblings; ++n) out += "\r\n  " + Package(n);
  return out + "\r\n</InstallFiles>\r\n";
}

std::string Blanks(int children) {
  std::string out = "<InstallFiles>" + std::string(256 * 1024, ' ') + "x";
  for (int n = 0; n < children; ++n) out += "<a/>";
  return out + "</InstallFiles>";
}

// An ordinary catalogue of about `bytes` bytes: groups of ten subgroups of
// ten elements each, indented, four levels deep. `element` makes the n-th
// leaf, so the ordinary document is built of the same leaves as the shape
// it is set against.
std::string Ordinary(size_t bytes, std::string (*element)(int)) {
  std::string out = "<InstallFiles>";
  const std::string tail = "\r\n</InstallFiles>\r\n";
  int n = 0;
  for (int g = 0; out.size() + tail.size() < bytes; ++g) {
    out += "\r\n  <Group path=\"g" + std::to_string(g) + "\">";
    for (int s = 0; s < 10 && out.size() + tail.size() < bytes; ++s) {
      out += "\r\n    <Sub path=\"s" + std::to_string(s) + "\">";
      for (int i = 0; i < 10; ++i) out += "\r\n      " + element(n++);
      out += "\r\n    </Sub>";
    }
    out += "\r\n  </Group>";
  }
  return out + tail;
}

std::string EmptyTag(int) { return "<a/>"; }

struct TCost {
  double Parse = 1e9;  // best seconds
  double Walk = 1e9;
  int Nodes = 0;
};

TCost Measure(const std::string& text, int repeats) {
  TCost cost;
  for (int r = 0; r < repeats; ++r) {
    TXmlTreeNode root(nullptr, true);
    std::istringstream in(text);
    Clock::time_point start = Clock::now();
    bool ok = LoadDocument(root, in);
    double parse = Seconds(start);
    if (!ok) {
      std::fprintf(stderr, "markup shapes bench: parse failed\n");
      std::exit(1);
    }
    start = Clock::now();
    int nodes = 0;
    for (TXmlTreeNode* node = &root; node; node = node->NextInDocument()) ++nodes;
    double walk = Seconds(start);
    if (parse < cost.Parse) cost.Parse = parse;
    if (walk < cost.Walk) cost.Walk = walk;
    cost.Nodes = nodes;
  }
  return cost;
}

void Compare(const char* label, const std::string& shape, std::string (*element)(int),
             int repeats) {
  std::string ordinary = Ordinary(shape.size(), element);
  TCost hostile = Measure(shape, repeats);
  TCost plain = Measure(ordinary, repeats);
  double hostileBytes = static_cast<double>(shape.size());
  double plainBytes = static_cast<double>(ordinary.size());
  std::printf("%-7s %8.0f KB %7d nodes: parse %9.1f ms, walk %9.2f ms\n", label,
              hostileBytes / 1024, hostile.Nodes, hostile.Parse * 1e3, hostile.Walk * 1e3);
  std::printf("%-7s %8.0f KB %7d nodes: parse %9.1f ms, walk %9.2f ms\n", "  plain",
              plainBytes / 1024, plain.Nodes, plain.Parse * 1e3, plain.Walk * 1e3);
  std::printf("  per byte, %s / plain: parse %.2fx, walk %.2fx (walk per node %.2fx)\n", label,
              (hostile.Parse / hostileBytes) / (plain.Parse / plainBytes),
              (hostile.Walk / hostileBytes) / (plain.Walk / plainBytes),
              (hostile.Walk / hostile.Nodes) / (plain.Walk / plain.Nodes));
}

std::string Unclosed(int tags) {
  std::string out = "<a>";
  for (int n = 0; n < tags; ++n) out += "<b>x";
  return out + "</a>";
}

std::string Distinct(int tags) {
  std::string out = "<a>";
  for (int n = 0; n < tags; ++n) out += "<b" + std::to_string(n) + ">x";
  return out + "</a>";
}

// Blocks of 200 nested "b" elements (below the nesting limit), each level
// holding a letter.
std::string Nested(int tags) {
  std::string out = "<a>";
  for (int n = 0; n < tags; n += 200) {
    for (int i = 0; i < 200; ++i) out += "<b>x";
    for (int i = 0; i < 200; ++i) out += "y</b>";
  }
  return out + "</a>";
}

double InnerText(const std::string& text, int repeats) {
  double best = 1e9;
  for (int r = 0; r < repeats; ++r) {
    std::istringstream in(text);
    TXmlTreeNode element(nullptr, false);
    Clock::time_point start = Clock::now();
    bool ok = ReadTag(element, in) && element.ReadInnerText(in);
    double t = Seconds(start);
    if (!ok) {
      std::fprintf(stderr, "markup shapes bench: ReadInnerText failed\n");
      std::exit(1);
    }
    if (t < best) best = t;
  }
  return best;
}

void Growth(const char* label, std::string (*shape)(int), int small, int large, int repeats) {
  std::string a = shape(small), b = shape(large);
  double ta = InnerText(a, repeats), tb = InnerText(b, repeats);
  std::printf("%-9s %6d tags %9.2f ms, %6d tags %9.2f ms: per byte %.2fx at %.0fx the size\n",
              label, small, ta * 1e3, large, tb * 1e3,
              (tb / static_cast<double>(b.size())) / (ta / static_cast<double>(a.size())),
              static_cast<double>(b.size()) / static_cast<double>(a.size()));
}

}  // namespace

int main(int argc, char** argv) {
  int repeats = argc > 1 ? std::atoi(argv[1]) : 3;
  if (repeats < 1) repeats = 1;
  std::printf("best of %d; ratios near 1 mean linear growth, the goal is within 3x\n", repeats);
  Compare("flat", Flat(100000), Package, repeats);
  Compare("blanks", Blanks(100000), EmptyTag, repeats);
  std::printf("ReadInnerText growth (per-byte cost at the larger size over the smaller):\n");
  Growth("unclosed", Unclosed, 10000, 40000, repeats);
  Growth("distinct", Distinct, 2500, 10000, repeats);
  Growth("nested", Nested, 10000, 40000, repeats);
  return 0;
}
