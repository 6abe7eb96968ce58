// How the Linux backend reads /proc, /sys and /etc: through this narrow hook,
// so that tests can hand in captured files instead of the live system.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace platform {

class TextFiles {
 public:
  virtual ~TextFiles() = default;
  // The whole file as bytes; nullopt when it cannot be read (gone, denied).
  virtual std::optional<std::string> Read(const std::string& path) = 0;
  // The names in a folder, "." and ".." left out; nullopt when it cannot be listed.
  virtual std::optional<std::vector<std::string>> List(const std::string& folder) = 0;
  // The target of a symbolic link; nullopt when it is none or cannot be read.
  virtual std::optional<std::string> Link(const std::string& path) = 0;
};

// The live files of this machine. Defined on Linux only.
TextFiles& HostTextFiles();

}  // namespace platform
