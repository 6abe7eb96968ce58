// Drives and network adapters held in memory, filled by the tests.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/Drives.h"
#include "platform/Network.h"

namespace platform {

class MemoryDrives : public Drives {
 public:
  // A drive in list order; without space the system gives no figures for it.
  void Add(const std::wstring& root, DriveType type, std::optional<DriveSpace> space = DriveSpace{}) {
    drives_.push_back({root, type, space});
  }

  std::vector<std::wstring> RootPaths() override {
    std::vector<std::wstring> roots;
    for (const auto& drive : drives_) roots.push_back(drive.root);
    return roots;
  }
  DriveType TypeOf(const std::wstring& root) override {
    const Drive* drive = Find(root);
    return drive ? drive->type : DriveType::kNoRootDir;
  }
  std::optional<DriveSpace> FreeSpace(const std::wstring& root) override {
    const Drive* drive = Find(root);
    return drive ? drive->space : std::nullopt;
  }

 private:
  struct Drive {
    std::wstring root;
    DriveType type;
    std::optional<DriveSpace> space;
  };
  const Drive* Find(const std::wstring& root) const {
    for (const auto& drive : drives_) {
      if (drive.root == root) return &drive;
    }
    return nullptr;
  }

  std::vector<Drive> drives_;
};

class MemoryNetwork : public Network {
 public:
  std::vector<NetworkAdapter> adapters;  // in list order

  std::vector<NetworkAdapter> Adapters() override { return adapters; }
};

}  // namespace platform
