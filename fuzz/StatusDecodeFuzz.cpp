// DecodeStatus on arbitrary text: a syntax error, or a status whose text
// decodes again to the same fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/Sequence.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  qtl::status decoded;
  try {
    decoded = qrn::grammar::DecodeStatus(text);
  } catch (const qtl::status_exception& e) {
    Check(!e.get_status().ok());
    return 0;
  }
  Check(decoded.ok() == text.empty());
  const qtl::status again = qrn::grammar::DecodeStatus(qrn::grammar::EncodeStatus(decoded));
  Check(again.ok() == decoded.ok());
  if (decoded.ok()) return 0;
  Check(again.get()->message == decoded.get()->message);
  Check(again.get()->texts == decoded.get()->texts);
  Check(again.get()->file == decoded.get()->file);
  Check(again.get()->line == decoded.get()->line);
  (void)decoded.text();
  return 0;
}
