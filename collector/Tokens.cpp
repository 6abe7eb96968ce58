#include "collector/Tokens.h"

#include <fstream>

#include "collector/Digest.h"
#include "collector/Failure.h"

namespace collector {
namespace {

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

qtl::status Tokens::Load(const std::string& path) {
  std::ifstream in(path);
  if (!in) return Failure("cannot read the token file " + path);
  for (std::string line; std::getline(in, line);) {
    const std::string_view token = Trim(line);
    if (!token.empty() && token[0] != '#') digests_.push_back(Sha256(token));
  }
  if (digests_.empty()) return Failure("the token file " + path + " holds no token");
  return {};
}

bool Tokens::Accepts(std::string_view header) const {
  constexpr std::string_view kScheme = "Bearer ";
  if (header.size() <= kScheme.size() || header.substr(0, kScheme.size()) != kScheme) return false;
  const std::string digest = Sha256(Trim(header.substr(kScheme.size())));
  bool found = false;
  for (const auto& known : digests_) found |= SameBytes(digest, known);
  return found;
}

}  // namespace collector
