// The text of each value type that travels in a remote call: Encode writes
// the text of `value`, Decode reads `value` back. Grammar objects live as
// locals or members and are never deleted through a base.
#pragma once
#include <string>

#include "runtime/Convert.h"
#include "runtime/Sequence.h"
#include "runtime/Status.h"

namespace qrn::grammar {

template <class T>
class GrammarOfType;

namespace impl {

// Decimal digits and nothing else, both ways.
template <class T>
struct GrammarNumeric : GrammarOfTypeCommon<T> {
 protected:
  void EncodeNumber(std::string& out) const { math::impl::ConvertInt<T>::to_string(out, this->value, 10); }
  // Text that is not a number of T (the empty text included) is a syntax
  // error, so a caller learns of it instead of receiving a made-up value.
  void DecodeNumber(const std::string& text) {
    T parsed{};
    if (!math::impl::ConvertInt<T>::from_string(parsed, text)) {
      ThrowStatus(QrnError::syntax(text), "common\\grammar_Type", __LINE__);
    }
    this->value = parsed;
  }
};

}  // namespace impl

template <>
class GrammarOfType<unsigned int> : public impl::GrammarNumeric<unsigned int> {
 public:
  virtual void Encode(std::string& out) const { EncodeNumber(out); }
  // Raises qtl::status_exception (syntax error) for text that is not a decimal unsigned number.
  virtual void Decode(const std::string& text) { DecodeNumber(text); }
};

// "t" and "f"; only the exact text "t" reads as true, and nothing fails.
template <>
class GrammarOfType<bool> : public impl::GrammarOfTypeCommon<bool> {
 public:
  virtual void Encode(std::string& out) const;
  virtual void Decode(const std::string& text);
};

template <>
class GrammarOfType<std::string> : public impl::GrammarOfTypeCommon<std::string> {
 public:
  virtual void Encode(std::string& out) const;
  virtual void Decode(const std::string& text);
};

// UTF-8 on the wire; bytes that are not UTF-8 read as U+FFFD, never an error.
template <>
class GrammarOfType<std::wstring> : public impl::GrammarOfTypeCommon<std::wstring> {
 public:
  virtual void Encode(std::string& out) const;
  virtual void Decode(const std::string& text);
};

// The runtime's status text; malformed text raises qtl::status_exception.
template <>
class GrammarOfType<qtl::status> : public impl::GrammarOfTypeCommon<qtl::status> {
 public:
  virtual void Encode(std::string& out) const;
  virtual void Decode(const std::string& text);
};

}  // namespace qrn::grammar
