// A fresh folder under the system's temporary folder, removed with its
// contents when the test ends.
#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace testing {

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() / ("dromika-test-" + std::to_string(random()));
    std::filesystem::create_directories(root_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  // The folder's path with a final separator, as the report spells folders.
  std::wstring FolderPath() const { return (root_ / "").wstring(); }
  std::wstring Path(const std::wstring& relative) const { return (root_ / relative).wstring(); }

  std::string Read(const std::wstring& relative) const {
    std::ifstream file(root_ / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path root_;
};

}  // namespace testing
