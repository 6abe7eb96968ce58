// Captured files for the Linux readers: folders are implied by the paths of
// their files. Listing is in name order.
#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/TextFiles.h"

namespace platform {

class MemoryTextFiles : public TextFiles {
 public:
  void Add(const std::string& path, std::string content) { files_[path] = std::move(content); }
  void AddLink(const std::string& path, std::string target) { links_[path] = std::move(target); }
  // An entry that is listed but cannot be read, as /proc/<pid>/fd of another user.
  void AddDenied(const std::string& path) { denied_.insert(path); }
  void Remove(const std::string& path);

  std::optional<std::string> Read(const std::string& path) override;
  std::optional<std::vector<std::string>> List(const std::string& folder) override;
  std::optional<std::string> Link(const std::string& path) override;

 private:
  std::map<std::string, std::string> files_;
  std::map<std::string, std::string> links_;
  std::set<std::string> denied_;
};

}  // namespace platform
