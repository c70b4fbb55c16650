// The inner-text reader against the plain model of tests/: arbitrary bytes
// after a start tag must give the same result, text, closed flag and stream
// position. The first byte picks the flags (UTF-8, HTML).
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>

#include "markup/markup.h"
#include "tests/markup_inner_text_model.h"

namespace {

std::string Rest(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in.rdbuf()), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 8192) return 0;  // the model reads on quadratically
  const bool utf8 = data[0] & 1;
  const bool html = data[0] & 2;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  std::istringstream realIn(text);
  TXmlTreeNode real(nullptr, utf8);
  real.IsHtml = html;
  if (!ReadTag(real, realIn)) return 0;
  const bool realOk = real.ReadInnerText(realIn);
  const std::string realRest = Rest(realIn);

  std::istringstream modelIn(text);
  TXmlElement model(utf8, html);
  if (!ReadTag(model, modelIn)) __builtin_trap();
  const bool modelOk = inner_text_model::ReadInnerText(model, modelIn);

  if (realOk != modelOk || real.IsClosed != model.IsClosed || real.Text != model.Text ||
      realRest != Rest(modelIn))
    __builtin_trap();
  return 0;
}
