// The list grammar of remote-call texts. Items are joined by the separator
// ";"; inside an item the escape "&" precedes every ";" and "&" of the item.
// Decode inverts Encode for every list except the one holding a single empty
// item, whose text is the empty text, which decodes to no items.
#pragma once
#include <string>
#include <vector>

#include "runtime/Status.h"

namespace qtl {
struct not_copyable {
  not_copyable() = default;
  not_copyable(const not_copyable&) = delete;
  not_copyable& operator=(const not_copyable&) = delete;
};
}  // namespace qtl

namespace qrn::grammar {
namespace impl {

template <class T>
struct GrammarOfTypeCommon {
  T value{};
};

template <class List>
struct GrammarSequenceOf : GrammarOfTypeCommon<List> {};

struct GrammarSequenceCommon {
  char separator = ';';
  char escape = '&';
};

}  // namespace impl

class Sequence : public impl::GrammarSequenceOf<std::vector<std::string>>,
                 public impl::GrammarSequenceCommon,
                 qtl::not_copyable {
 public:
  Sequence() = default;
  explicit Sequence(std::vector<std::string> items) { value = std::move(items); }
  virtual ~Sequence() = default;

  // Replaces `out` with the text of the items.
  virtual void Encode(std::string& out) const;
  // Replaces the items with those of `text`. An escape that is last or precedes
  // another character raises qtl::status_exception (a syntax error); the items
  // are then unchanged.
  virtual void Decode(const std::string& text);
};

// The text of a status: the empty text for success, else the sequence of its
// message, five further texts, source file and line (UTF-8, decimal line).
std::string EncodeStatus(const qtl::status& s);
// Inverts EncodeStatus; malformed text raises qtl::status_exception (syntax error).
qtl::status DecodeStatus(const std::string& text);

}  // namespace qrn::grammar
