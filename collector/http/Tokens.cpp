#include "collector/http/Tokens.h"

#include <fstream>
#include <sstream>

#include "collector/base/Status.h"
#include "collector/base/Text.h"
#include "collector/document/Digest.h"

namespace collector {
namespace {

std::optional<unsigned> ScopeNamed(std::string_view word) {
  if (word == "ingest") return kIngest;
  if (word == "read") return kRead;
  if (word == "admin") return kAdmin;
  return std::nullopt;
}

// Where "# NAME" starts: a '#' after a blank, so a token may hold '#'.
size_t NameStart(std::string_view line) {
  for (size_t at = 1; at < line.size(); ++at) {
    if (line[at] == '#' && (line[at - 1] == ' ' || line[at - 1] == '\t')) return at - 1;
  }
  return std::string_view::npos;
}

}  // namespace

Status Tokens::Load(const std::string& path) {
  std::ifstream in(path);
  if (!in) return Failure("cannot read the token file " + path);
  Set loaded;
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const size_t hash = NameStart(trimmed);
    std::istringstream words(std::string(trimmed.substr(0, hash)));
    std::string token, word;
    words >> token;
    Caller caller;
    // A line's number names a token that has no name of its own, so that the
    // log never shows a token.
    caller.name = hash == std::string_view::npos ? "" : std::string(Trim(trimmed.substr(hash + 2)));
    if (caller.name.empty()) caller.name = "token on line " + std::to_string(lineNumber);
    while (words >> word) {
      const auto scope = ScopeNamed(word);
      if (!scope) return Invalid(path + ":" + std::to_string(lineNumber) + ": unknown scope " + word);
      caller.scopes |= *scope;
    }
    if (caller.scopes == 0) caller.scopes = kIngest | kRead;
    loaded.push_back({Sha256(token), std::move(caller)});
  }
  if (loaded.empty()) return Failure("the token file " + path + " holds no token");
  auto replacement = std::make_shared<const Set>(std::move(loaded));
  const std::lock_guard<std::mutex> lock(mutex_);
  known_.swap(replacement);
  return {};
}

std::shared_ptr<const Tokens::Set> Tokens::Known() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return known_;
}

std::optional<Caller> Tokens::FromHeader(std::string_view header) const {
  constexpr std::string_view kScheme = "bearer ";  // HTTP's scheme names are case-insensitive
  if (header.size() <= kScheme.size() || AsciiLower(header.substr(0, kScheme.size())) != kScheme) return std::nullopt;
  return Find(Trim(header.substr(kScheme.size())));
}

std::optional<Caller> Tokens::Find(std::string_view token) const {
  const std::string digest = Sha256(token);
  const std::shared_ptr<const Set> set = Known();
  const Token* found = nullptr;
  for (const auto& known : *set) {
    if (SameBytes(digest, known.digest)) found = &known;
  }
  if (!found || token.empty()) return std::nullopt;
  return found->caller;
}

}  // namespace collector
