#include <gtest/gtest.h>

#include <map>

#include "platform/linux/MountInfo.h"

namespace {

using namespace platform::mounts;

// A laptop: root and home on NVMe partitions, a btrfs subvolume and a bind
// mount repeating devices, a USB stick, a loop-mounted snap, NFS, sshfs,
// autofs, tmpfs and a mount point holding a blank.
const char* const kLaptopMountInfo =
    "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 22 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw\n"
    "25 22 0:5 / /dev rw,nosuid,relatime shared:3 - devtmpfs udev rw,size=8000000k\n"
    "30 22 259:3 / /home rw,relatime shared:20 - ext4 /dev/nvme0n1p3 rw\n"
    "31 22 259:1 / /boot/efi rw,relatime shared:21 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "32 22 0:40 /@data /data rw,relatime shared:22 - btrfs /dev/sda1 rw,subvol=/@data\n"
    "33 22 0:41 /@archive /archive rw,relatime shared:23 - btrfs /dev/sda1 rw,subvol=/@archive\n"
    "34 30 259:3 /user/projects /srv/projects rw,relatime shared:20 - ext4 /dev/nvme0n1p3 rw\n"
    "35 22 7:0 / /snap/core/1 ro,nodev,relatime shared:24 - squashfs /dev/loop0 ro\n"
    "36 22 8:17 / /media/user/USB\\040STICK rw,nosuid,nodev,relatime shared:25 - vfat /dev/sdb1 rw\n"
    "37 22 0:50 / /mnt/nas rw,relatime shared:26 - nfs4 nas:/export rw,vers=4.2\n"
    "38 22 0:51 / /mnt/remote rw,nosuid,nodev,relatime shared:27 - fuse.sshfs user@host:/ rw\n"
    "39 22 0:52 / /net rw,relatime shared:28 - autofs /etc/auto.net rw,fd=7\n"
    "40 22 0:53 / /tmp rw,nosuid,nodev shared:29 - tmpfs tmpfs rw\n"
    "41 22 8:33 / /mnt/My\\040Disk\\134x rw,relatime shared:30 - ntfs3 /dev/sdc1 rw\n"
    "42 22 8:49 / /mnt/external rw,relatime shared:31 - fuseblk /dev/sdd1 rw\n"
    "garbage line without a separator\n";

const char* const kFilesystems =
    "nodev\tsysfs\nnodev\ttmpfs\nnodev\tproc\nnodev\tdevtmpfs\nnodev\tautofs\nnodev\tnfs4\n"
    "\text4\n\tvfat\n\tbtrfs\n\tsquashfs\nnodev\tfuse\n\tfuseblk\n\tntfs3\nnodev\toverlay\n";

class FakeProbe : public DeviceProbe {
 public:
  std::map<std::string, std::string> devices;  // path to major:minor
  std::set<std::string> removable;
  std::vector<std::string> asked;

  std::optional<std::string> BlockDeviceId(const std::string& path) override {
    asked.push_back(path);
    auto found = devices.find(path);
    if (found == devices.end()) return std::nullopt;
    return found->second;
  }
  bool IsRemovable(const std::string& deviceId) override { return removable.count(deviceId) > 0; }
};

FakeProbe LaptopProbe() {
  FakeProbe probe;
  probe.devices = {{"/dev/nvme0n1p2", "259:2"}, {"/dev/nvme0n1p3", "259:3"}, {"/dev/nvme0n1p1", "259:1"},
                   {"/dev/sda1", "8:1"},        {"/dev/loop0", "7:0"},       {"/dev/sdb1", "8:17"},
                   {"/dev/sdc1", "8:33"},       {"/dev/sdd1", "8:49"}};
  probe.removable = {"8:17"};
  return probe;
}

TEST(MountInfo, ParsesFieldsAroundTheOptionalTags) {
  const auto mounts = ParseMountInfo(kLaptopMountInfo);
  ASSERT_EQ(mounts.size(), 17u);
  EXPECT_EQ(mounts[0].mountPoint, "/");
  EXPECT_EQ(mounts[0].fsType, "ext4");
  EXPECT_EQ(mounts[0].source, "/dev/nvme0n1p2");
  EXPECT_EQ(mounts[10].mountPoint, "/media/user/USB STICK");
  EXPECT_EQ(mounts[15].mountPoint, "/mnt/My Disk\\x");
  EXPECT_EQ(ParseMountInfo("1 2 3:4 / /x rw - ext4\n").size(), 0u);
  EXPECT_EQ(ParseNodevTypes(kFilesystems), (std::set<std::string>{"sysfs", "tmpfs", "proc", "devtmpfs", "autofs",
                                                                   "nfs4", "fuse", "overlay"}));
}

TEST(MountInfo, DecodesOnlyWellFormedOctalEscapes) {
  EXPECT_EQ(DecodeOctalEscapes("a\\040b\\011c\\012d\\134e"), "a b\tc\nd\\e");
  EXPECT_EQ(DecodeOctalEscapes("\\04"), "\\04");
  EXPECT_EQ(DecodeOctalEscapes("\\999\\400x"), "\\999\\400x");
  EXPECT_EQ(DecodeOctalEscapes("tail\\"), "tail\\");
}

TEST(MountInfo, KeepsOneLocalFixedMountPerDevice) {
  FakeProbe probe = LaptopProbe();
  const auto points =
      FixedMountPoints(ParseMountInfo(kLaptopMountInfo), ParseNodevTypes(kFilesystems), probe);
  EXPECT_EQ(points, (std::vector<std::string>{"/", "/home", "/boot/efi", "/data", "/mnt/My Disk\\x", "/mnt/external"}));
  // Network, FUSE and automount sources are never handed to the probe.
  for (const auto& asked : probe.asked) {
    EXPECT_EQ(asked.compare(0, 5, "/dev/"), 0) << asked;
  }
}

TEST(MountInfo, RootIsKeptWhateverItIs) {
  const char* const container =
      "600 500 0:80 / / rw,relatime - overlay overlay rw,lowerdir=/l,upperdir=/u\n"
      "601 600 254:0 /data /data rw - ext4 /dev/vda rw\n"
      "602 600 254:0 /other /other rw - ext4 /dev/vda rw\n";
  FakeProbe probe;
  probe.devices = {{"/dev/vda", "254:0"}};
  EXPECT_EQ(FixedMountPoints(ParseMountInfo(container), {"overlay"}, probe),
            (std::vector<std::string>{"/", "/data"}));

  // Root bind-mounted elsewhere first: the device is named by "/".
  const char* const bindFirst =
      "10 1 8:1 / /mnt/root-bind rw - ext4 /dev/sda1 rw\n"
      "11 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
  probe.devices = {{"/dev/sda1", "8:1"}};
  EXPECT_EQ(FixedMountPoints(ParseMountInfo(bindFirst), {}, probe), std::vector<std::string>{"/"});

  // A removable root (a live stick) and an empty file are no reason to lose it.
  probe.removable = {"8:1"};
  EXPECT_EQ(FixedMountPoints(ParseMountInfo(bindFirst), {}, probe), std::vector<std::string>{"/"});
  EXPECT_TRUE(FixedMountPoints(ParseMountInfo(""), {}, probe).empty());
}

}  // namespace
