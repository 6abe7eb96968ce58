#include <windows.h>

#include "platform/Drives.h"

namespace platform {
namespace {

class WindowsDrives : public Drives {
 public:
  // The list is asked for its length first; a drive that appears between the
  // two calls makes the second one answer a larger length, and then no list.
  std::vector<std::wstring> RootPaths() override {
    const DWORD length = GetLogicalDriveStringsW(0, nullptr);
    if (length == 0) return {};
    std::vector<wchar_t> buffer(length + 1, L'\0');
    const DWORD written = GetLogicalDriveStringsW(length + 1, buffer.data());
    if (written == 0 || written > length) return {};
    std::vector<std::wstring> roots;
    for (const wchar_t* root = buffer.data(); *root; root += roots.back().size() + 1) roots.emplace_back(root);
    return roots;
  }

  DriveType TypeOf(const std::wstring& root) override { return static_cast<DriveType>(GetDriveTypeW(root.c_str())); }

  std::optional<DriveSpace> FreeSpace(const std::wstring& root) override {
    ULARGE_INTEGER available{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &totalFree)) return std::nullopt;
    return DriveSpace{available.QuadPart, total.QuadPart, totalFree.QuadPart};
  }
};

}  // namespace

Drives& HostDrives() {
  static WindowsDrives drives;
  return drives;
}

}  // namespace platform
