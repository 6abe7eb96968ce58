#include "testing/MemoryTextFiles.h"

namespace platform {

void MemoryTextFiles::Remove(const std::string& path) {
  const std::string prefix = path + "/";
  auto gone = [&](const std::string& key) { return key == path || key.compare(0, prefix.size(), prefix) == 0; };
  for (auto it = files_.begin(); it != files_.end();) it = gone(it->first) ? files_.erase(it) : std::next(it);
  for (auto it = links_.begin(); it != links_.end();) it = gone(it->first) ? links_.erase(it) : std::next(it);
  for (auto it = denied_.begin(); it != denied_.end();) it = gone(*it) ? denied_.erase(it) : std::next(it);
}

std::optional<std::string> MemoryTextFiles::Read(const std::string& path) {
  auto found = files_.find(path);
  if (found == files_.end() || denied_.count(path)) return std::nullopt;
  return found->second;
}

std::optional<std::vector<std::string>> MemoryTextFiles::List(const std::string& folder) {
  if (denied_.count(folder)) return std::nullopt;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::set<std::string> all(denied_);
  for (const auto* paths : {&files_, &links_}) {
    for (const auto& entry : *paths) all.insert(entry.first);
  }
  std::vector<std::string> names;
  for (const auto& path : all) {
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) continue;
    const std::string name = path.substr(prefix.size(), path.find('/', prefix.size()) - prefix.size());
    if (names.empty() || names.back() != name) names.push_back(name);
  }
  if (names.empty()) return std::nullopt;
  return names;
}

std::optional<std::string> MemoryTextFiles::Link(const std::string& path) {
  auto found = links_.find(path);
  if (found == links_.end() || denied_.count(path)) return std::nullopt;
  return found->second;
}

}  // namespace platform
