// The bearer tokens that senders must present when a token file is given.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "collector/base/Status.h"

namespace collector {

class Tokens {
 public:
  // Reads one token per line; blank lines and lines starting with '#' are
  // skipped, surrounding blanks trimmed. Fails on an unreadable file or one
  // that holds no token.
  Status Load(const std::string& path);
  bool Required() const { return !digests_.empty(); }
  // True when `header` is "Bearer " (in any case) followed by a known token. Every known
  // token is compared, by digest, so the time taken says nothing about how
  // much of a token matched.
  bool Accepts(std::string_view header) const;

 private:
  std::vector<std::string> digests_;
};

}  // namespace collector
