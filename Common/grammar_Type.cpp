#include "Common/grammar_Type.h"

#include "runtime/Str.h"

namespace qrn::grammar {

void GrammarOfType<bool>::Encode(std::string& out) const { out = value ? "t" : "f"; }

void GrammarOfType<bool>::Decode(const std::string& text) { value = text == "t"; }

void GrammarOfType<std::string>::Encode(std::string& out) const { out = value; }

void GrammarOfType<std::string>::Decode(const std::string& text) { value = text; }

void GrammarOfType<std::wstring>::Encode(std::string& out) const { out = str::as_u8string(value); }

void GrammarOfType<std::wstring>::Decode(const std::string& text) {
  value = str::as_wstring(text, str::InvalidUtf8::kReplace);
}

void GrammarOfType<qtl::status>::Encode(std::string& out) const { out = EncodeStatus(value); }

void GrammarOfType<qtl::status>::Decode(const std::string& text) { value = DecodeStatus(text); }

}  // namespace qrn::grammar
