// Sequence::Decode and the tuple grammar built on it, on arbitrary text:
// either a syntax error or items that survive another round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>

#include "Common/grammar_Tuple.h"
#include "runtime/Sequence.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void RoundTrip(const std::string& text) {
  qrn::grammar::Sequence sequence;
  try {
    sequence.Decode(text);
  } catch (const qtl::status_exception&) {
    Check(sequence.value.empty());  // a failed decode keeps the old (empty) items
    return;
  }
  std::string encoded;
  sequence.Encode(encoded);
  // Only the list of one empty item encodes to a text that reads back as another list.
  if (sequence.value.size() == 1 && sequence.value[0].empty()) return Check(encoded.empty());
  Check(encoded == text);
  qrn::grammar::Sequence again;
  again.Decode(encoded);
  Check(again.value == sequence.value);
}

void Tuple(const std::string& text) {
  qrn::grammar::GrammarOfType<std::tuple<std::wstring, unsigned int>> grammar;
  try {
    grammar.Decode(text);
  } catch (const qtl::status_exception&) {
    Check(grammar.value == std::make_tuple(std::wstring(), 0u));
    return;
  }
  std::string encoded;
  grammar.Encode(encoded);
  qrn::grammar::GrammarOfType<std::tuple<std::wstring, unsigned int>> again;
  again.Decode(encoded);
  Check(again.value == grammar.value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RoundTrip(text);
  Tuple(text);
  return 0;
}
