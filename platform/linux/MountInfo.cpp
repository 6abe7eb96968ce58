#include "platform/linux/MountInfo.h"

#include <map>
#include <sstream>

namespace platform::mounts {
namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; in >> field;) fields.push_back(field);
  return fields;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// Types whose answers come from elsewhere than a local disk, or that mount
// something when touched. fuseblk is a local block device behind FUSE and stays.
bool IsRemoteOrAutomount(const std::string& type) {
  static const std::set<std::string> kTypes = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs",
                                               "ceph", "glusterfs", "9p", "davfs", "lustre", "autofs", "fuse"};
  return kTypes.count(type) || StartsWith(type, "fuse.");
}

// Loop, RAM, floppy, compressed-RAM and network block devices are no fixed disks.
bool IsVirtualDevice(const std::string& source) {
  const std::string name = source.substr(source.rfind('/') + 1);
  for (const char* prefix : {"loop", "ram", "fd", "zram", "nbd"}) {
    if (StartsWith(name, prefix)) return true;
  }
  return false;
}

}  // namespace

std::string DecodeOctalEscapes(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    auto octal = [&](size_t k) { return k < field.size() && field[k] >= '0' && field[k] <= '7'; };
    if (field[i] == '\\' && i + 1 < field.size() && field[i + 1] <= '3' && octal(i + 1) && octal(i + 2) &&
        octal(i + 3)) {
      out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
  std::vector<MountEntry> mounts;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const auto fields = Fields(line);
    // Six fixed fields, optional tagged fields, "-", then type and source.
    size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (dash + 2 >= fields.size()) continue;
    mounts.push_back({DecodeOctalEscapes(fields[4]), fields[dash + 1], DecodeOctalEscapes(fields[dash + 2])});
  }
  return mounts;
}

std::set<std::string> ParseNodevTypes(const std::string& text) {
  std::set<std::string> types;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const auto fields = Fields(line);
    if (fields.size() == 2 && fields[0] == "nodev") types.insert(fields[1]);
  }
  return types;
}

std::vector<std::string> FixedMountPoints(const std::vector<MountEntry>& mounts,
                                          const std::set<std::string>& nodevTypes, DeviceProbe& probe) {
  struct Candidate {
    const MountEntry* mount;
    std::string device;
  };
  std::vector<Candidate> candidates;
  for (const auto& mount : mounts) {
    const bool root = mount.mountPoint == "/";
    if (IsRemoteOrAutomount(mount.fsType) || nodevTypes.count(mount.fsType) || !StartsWith(mount.source, "/dev/") ||
        IsVirtualDevice(mount.source)) {
      if (root) candidates.push_back({&mount, "root"});
      continue;
    }
    const auto device = probe.BlockDeviceId(mount.source);
    if (device && !probe.IsRemovable(*device)) {
      candidates.push_back({&mount, *device});
    } else if (root) {
      candidates.push_back({&mount, "root"});
    }
  }
  // One mount point per device: "/" where it is among them, else the first.
  std::map<std::string, size_t> chosen;
  for (size_t i = 0; i < candidates.size(); ++i) {
    auto [at, added] = chosen.emplace(candidates[i].device, i);
    if (!added && candidates[i].mount->mountPoint == "/") at->second = i;
  }
  std::vector<std::string> points;
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (chosen[candidates[i].device] == i) points.push_back(candidates[i].mount->mountPoint);
  }
  return points;
}

}  // namespace platform::mounts
