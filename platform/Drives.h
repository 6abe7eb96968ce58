// The machine's drives and their free space.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Numbered as GetDriveTypeW answers.
enum class DriveType : uint32_t {
  kUnknown = 0,
  kNoRootDir = 1,
  kRemovable = 2,
  kFixed = 3,
  kRemote = 4,
  kCdRom = 5,
  kRamDisk = 6,
};

struct DriveSpace {
  uint64_t available = 0;  // free bytes the calling user may use (less under quotas)
  uint64_t total = 0;      // size of the volume
  uint64_t totalFree = 0;  // free bytes of the volume
};

class Drives {
 public:
  virtual ~Drives() = default;
  // Root paths in the system's order ("C:\" on Windows; on Linux the mount
  // points of local block-device file systems, each ending with "/"); empty
  // when the list cannot be read.
  virtual std::vector<std::wstring> RootPaths() = 0;
  virtual DriveType TypeOf(const std::wstring& root) = 0;
  // nullopt when the system gives no figures for the drive.
  virtual std::optional<DriveSpace> FreeSpace(const std::wstring& root) = 0;
};

Drives& HostDrives();

}  // namespace platform
