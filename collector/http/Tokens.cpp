#include "collector/http/Tokens.h"

#include <fstream>

#include "collector/document/Digest.h"
#include "collector/base/Status.h"
#include "collector/base/Text.h"

namespace collector {
Status Tokens::Load(const std::string& path) {
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
  constexpr std::string_view kScheme = "bearer ";  // HTTP's scheme names are case-insensitive
  if (header.size() <= kScheme.size() || AsciiLower(header.substr(0, kScheme.size())) != kScheme) return false;
  const std::string digest = Sha256(Trim(header.substr(kScheme.size())));
  bool found = false;
  for (const auto& known : digests_) found |= SameBytes(digest, known);
  return found;
}

}  // namespace collector
