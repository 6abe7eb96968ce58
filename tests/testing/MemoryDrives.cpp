#include "testing/MemoryDrives.h"

namespace platform {

void MemoryDrives::Add(const std::wstring& root, DriveType type, std::optional<DriveSpace> space) {
  drives_.push_back({root, type, space});
}

std::vector<std::wstring> MemoryDrives::RootPaths() {
  std::vector<std::wstring> roots;
  for (const auto& drive : drives_) roots.push_back(drive.root);
  return roots;
}

const MemoryDrives::Drive* MemoryDrives::Find(const std::wstring& root) const {
  for (const auto& drive : drives_) {
    if (drive.root == root) return &drive;
  }
  return nullptr;
}

DriveType MemoryDrives::TypeOf(const std::wstring& root) {
  const Drive* drive = Find(root);
  return drive ? drive->type : DriveType::kNoRootDir;
}

std::optional<DriveSpace> MemoryDrives::FreeSpace(const std::wstring& root) {
  const Drive* drive = Find(root);
  return drive ? drive->space : std::nullopt;
}

}  // namespace platform
