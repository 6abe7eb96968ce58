// Which Linux mounts count as fixed drives, decided from the text of
// /proc/self/mountinfo and /proc/filesystems. Plain text in, plain text out,
// so the rules are tested with captured file contents on every host.
#pragma once
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform::mounts {

struct MountEntry {
  std::string mountPoint;  // decoded: "\040" is a blank again
  std::string fsType;      // "ext4", "fuse.sshfs"
  std::string source;      // "/dev/sda1", "server:/export", "tmpfs"
};

// One entry per well-formed line, in the file's order.
std::vector<MountEntry> ParseMountInfo(const std::string& text);
// The file system types /proc/filesystems marks "nodev" (no block device behind them).
std::set<std::string> ParseNodevTypes(const std::string& text);
// Undoes the kernel's octal escapes of blank, tab, line feed and backslash.
std::string DecodeOctalEscapes(const std::string& field);

// What only the running system can say about a mount's source.
class DeviceProbe {
 public:
  virtual ~DeviceProbe() = default;
  // "major:minor" of the block device at path; nullopt when path is not one.
  virtual std::optional<std::string> BlockDeviceId(const std::string& path) = 0;
  // True when the device, or the disk it is a partition of, is removable.
  virtual bool IsRemovable(const std::string& deviceId) = 0;
};

// The mount points of local block-device file systems, in mountinfo order,
// one per device (bind mounts and subvolumes repeat a device); "/" is always
// kept. Network, FUSE and automount file systems are dropped by type before
// the probe touches them: asking a dead network mount anything can hang.
std::vector<std::string> FixedMountPoints(const std::vector<MountEntry>& mounts,
                                          const std::set<std::string>& nodevTypes, DeviceProbe& probe);

}  // namespace platform::mounts
