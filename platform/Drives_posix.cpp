// Linux has no drive letters: the fixed drives are the mounted local
// block-device file systems, each named by its mount point.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/Drives.h"
#include "platform/linux/MountInfo.h"
#include "runtime/PathBytes.h"

namespace platform {
namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

class SysfsProbe : public mounts::DeviceProbe {
 public:
  std::optional<std::string> BlockDeviceId(const std::string& path) override {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  }

  // A partition has no "removable" of its own; its disk is the folder above it.
  bool IsRemovable(const std::string& deviceId) override {
    const std::string folder = "/sys/dev/block/" + deviceId;
    std::string flag = ReadWhole(folder + "/removable");
    if (flag.empty()) flag = ReadWhole(folder + "/../removable");
    return !flag.empty() && flag[0] == '1';
  }
};

class PosixDrives : public Drives {
 public:
  std::vector<std::wstring> RootPaths() override {
    SysfsProbe probe;
    const auto points = mounts::FixedMountPoints(mounts::ParseMountInfo(ReadWhole("/proc/self/mountinfo")),
                                                 mounts::ParseNodevTypes(ReadWhole("/proc/filesystems")), probe);
    std::vector<std::wstring> roots;
    for (const auto& point : points) {
      roots.push_back(sys::path::DecodeBytes(point.back() == '/' ? point : point + "/"));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    fixed_ = roots;
    return roots;
  }

  // Only what the last listing found is fixed; anything else may be a
  // network mount, which is never asked for its figures.
  DriveType TypeOf(const std::wstring& root) override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& fixed : fixed_) {
      if (fixed == root) return DriveType::kFixed;
    }
    return DriveType::kNoRootDir;
  }

  std::optional<DriveSpace> FreeSpace(const std::wstring& root) override {
    if (TypeOf(root) != DriveType::kFixed) return std::nullopt;
    struct statvfs fs {};
    if (statvfs(sys::path::EncodeBytes(root).c_str(), &fs) != 0) return std::nullopt;
    const uint64_t unit = fs.f_frsize;
    return DriveSpace{uint64_t{fs.f_bavail} * unit, uint64_t{fs.f_blocks} * unit, uint64_t{fs.f_bfree} * unit};
  }

 private:
  std::mutex mutex_;
  std::vector<std::wstring> fixed_;
};

}  // namespace

Drives& HostDrives() {
  static PosixDrives drives;
  return drives;
}

}  // namespace platform
