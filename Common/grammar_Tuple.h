// A tuple travels as a Sequence of its elements' texts, first to last.
#pragma once
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Common/grammar_Type.h"
#include "runtime/Sequence.h"
#include "runtime/SourceStamps.h"
#include "runtime/Status.h"

namespace qrn::grammar {

template <class Tuple>
class GrammarTuple;

template <class... E>
class GrammarTuple<std::tuple<E...>> : public impl::GrammarOfTypeCommon<std::tuple<E...>>,
                                      public impl::GrammarSequenceCommon {
 public:
  virtual void Encode(std::string& out) const {
    Sequence sequence;
    sequence.separator = separator;
    sequence.escape = escape;
    std::apply([&](const E&... element) { (sequence.value.push_back(EncodeElement(element)), ...); }, this->value);
    sequence.Encode(out);
  }

  // Raises qtl::status_exception (a syntax error of the whole text) when the
  // text holds another number of items than the tuple has elements, or an
  // item does not read as its element; `value` is then unchanged.
  virtual void Decode(const std::string& text) {
    Sequence sequence;
    sequence.separator = separator;
    sequence.escape = escape;
    sequence.Decode(text);
    // One empty item encodes to the empty text, so for one element the empty
    // text means exactly that.
    if (sizeof...(E) == 1 && text.empty()) sequence.value.emplace_back();
    if (sequence.value.size() != sizeof...(E)) {
      ThrowStatus(QrnError::syntax(text), stamps::kTupleItemCount.file, stamps::kTupleItemCount.line);
    }
    std::tuple<E...> decoded;
    DecodeItems(sequence.value, decoded, std::index_sequence_for<E...>());
    this->value = std::move(decoded);
  }

 private:
  template <class T>
  static std::string EncodeElement(const T& element) {
    GrammarOfType<T> grammar;
    grammar.value = element;
    std::string text;
    grammar.Encode(text);
    return text;
  }

  template <class T>
  static void DecodeElement(const std::string& text, T& element) {
    GrammarOfType<T> grammar;
    grammar.Decode(text);
    element = std::move(grammar.value);
  }

  template <size_t... I>
  static void DecodeItems(const std::vector<std::string>& items, std::tuple<E...>& out, std::index_sequence<I...>) {
    (DecodeElement(items[I], std::get<I>(out)), ...);
  }
};

template <class... E>
class GrammarOfType<std::tuple<E...>> : public GrammarTuple<std::tuple<E...>> {};

}  // namespace qrn::grammar
