#include "testing/MemoryTextFiles.h"

namespace platform {

void MemoryTextFiles::Remove(const std::string& path) {
  const std::string prefix = path + "/";
  auto gone = [&](const std::string& key) { return key == path || key.compare(0, prefix.size(), prefix) == 0; };
  for (auto it = files_.begin(); it != files_.end();) it = gone(it->first) ? files_.erase(it) : std::next(it);
  for (auto it = links_.begin(); it != links_.end();) it = gone(it->first) ? links_.erase(it) : std::next(it);
  for (auto it = denied_.begin(); it != denied_.end();) it = gone(*it) ? denied_.erase(it) : std::next(it);
  for (auto it = folders_.begin(); it != folders_.end();) it = gone(*it) ? folders_.erase(it) : std::next(it);
}

std::optional<std::string> MemoryTextFiles::Read(const std::string& path) {
  auto found = files_.find(path);
  if (found == files_.end() || denied_.count(path)) return std::nullopt;
  return found->second;
}

std::optional<std::vector<std::string>> MemoryTextFiles::List(const std::string& folder) {
  if (denied_.count(folder)) return std::nullopt;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::vector<std::string> names;
  auto note = [&](const std::string& path) {
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) return;
    const std::string name = path.substr(prefix.size(), path.find('/', prefix.size()) - prefix.size());
    if (names.empty() || names.back() != name) names.push_back(name);
  };
  std::set<std::string> all;
  for (const auto& file : files_) all.insert(file.first);
  for (const auto& link : links_) all.insert(link.first);
  all.insert(denied_.begin(), denied_.end());
  for (const auto& path : all) note(path);
  if (names.empty() && !folders_.count(folder)) return std::nullopt;
  return names;
}

std::optional<std::string> MemoryTextFiles::Link(const std::string& path) {
  auto found = links_.find(path);
  if (found == links_.end() || denied_.count(path)) return std::nullopt;
  return found->second;
}

}  // namespace platform
