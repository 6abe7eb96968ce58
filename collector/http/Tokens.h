// The bearer tokens callers present when a token file is given, and what
// each one may do.
#pragma once
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collector/base/Status.h"

namespace collector {

// What a token allows, as bits: storing documents, reading them (the API's
// GETs and the pages), and removing them.
enum Scope : unsigned { kIngest = 1, kRead = 2, kAdmin = 4 };
constexpr unsigned kEveryScope = kIngest | kRead | kAdmin;

// Who is asking: the token's name (never the token) and its scopes.
struct Caller {
  std::string name;
  unsigned scopes = 0;
};

// Safe from any thread: a load replaces every token at once, while requests
// are judged against either the old set or the new one, never a mix.
class Tokens {
 public:
  // Reads one token per line: `TOKEN [SCOPE...] [# NAME]`, the scopes
  // `ingest`, `read` and `admin`, none meaning `ingest read`. Blank lines and
  // lines starting with '#' are skipped. Fails on an unreadable file, an
  // unknown scope, or a file that holds no token; the tokens held before
  // are then kept.
  Status Load(const std::string& path);
  bool Required() const { return !Known()->empty(); }
  size_t Count() const { return Known()->size(); }
  // The caller whose `header` is "Bearer " (in any case) and a known token.
  std::optional<Caller> FromHeader(std::string_view header) const;
  // The caller who holds `token`. Every known token is compared, by digest,
  // so the time taken says nothing about how much of a token matched.
  std::optional<Caller> Find(std::string_view token) const;

 private:
  struct Token {
    std::string digest;
    Caller caller;
  };
  using Set = std::vector<Token>;
  std::shared_ptr<const Set> Known() const;

  mutable std::mutex mutex_;
  std::shared_ptr<const Set> known_ = std::make_shared<const Set>();
};

}  // namespace collector
