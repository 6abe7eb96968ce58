#include <gtest/gtest.h>

#include <map>

#include "platform/linux/MountInfo.h"
#include "testing/Fixture.h"

namespace {

using namespace platform::mounts;

// platform/laptop.mountinfo: root and home on NVMe partitions, a btrfs
// subvolume and a bind mount repeating devices, a USB stick, a loop-mounted
// snap, NFS, sshfs, autofs, tmpfs and mount points holding escapes.
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
    return found == devices.end() ? std::nullopt : std::optional<std::string>(found->second);
  }
  bool IsRemovable(const std::string& deviceId) override { return removable.count(deviceId) > 0; }
};

TEST(MountInfo, ParsesFieldsAroundTheOptionalTags) {
  const auto mounts = ParseMountInfo(testing::ReadFixture("platform/laptop.mountinfo"));
  ASSERT_EQ(mounts.size(), 17u);
  EXPECT_EQ(mounts[0].mountPoint + "|" + mounts[0].fsType + "|" + mounts[0].source, "/|ext4|/dev/nvme0n1p2");
  EXPECT_EQ(mounts[10].mountPoint, "/media/user/USB STICK");
  EXPECT_EQ(mounts[15].mountPoint, "/mnt/My Disk\\x");
  EXPECT_EQ(ParseMountInfo("1 2 3:4 / /x rw - ext4\n").size(), 0u);
  EXPECT_EQ(ParseNodevTypes(kFilesystems),
            (std::set<std::string>{"sysfs", "tmpfs", "proc", "devtmpfs", "autofs", "nfs4", "fuse", "overlay"}));
}

TEST(MountInfo, DecodesOnlyWellFormedOctalEscapes) {
  EXPECT_EQ(DecodeOctalEscapes("a\\040b\\011c\\012d\\134e"), "a b\tc\nd\\e");
  for (const char* kept : {"\\04", "\\999\\400x", "tail\\"}) EXPECT_EQ(DecodeOctalEscapes(kept), kept);
}

TEST(MountInfo, KeepsOneLocalFixedMountPerDevice) {
  FakeProbe probe;
  probe.devices = {{"/dev/nvme0n1p2", "259:2"}, {"/dev/nvme0n1p3", "259:3"}, {"/dev/nvme0n1p1", "259:1"},
                   {"/dev/sda1", "8:1"},        {"/dev/loop0", "7:0"},       {"/dev/sdb1", "8:17"},
                   {"/dev/sdc1", "8:33"},       {"/dev/sdd1", "8:49"}};
  probe.removable = {"8:17"};
  const auto mounts = ParseMountInfo(testing::ReadFixture("platform/laptop.mountinfo"));
  EXPECT_EQ(FixedMountPoints(mounts, ParseNodevTypes(kFilesystems), probe),
            (std::vector<std::string>{"/", "/home", "/boot/efi", "/data", "/mnt/My Disk\\x", "/mnt/external"}));
  // Network, FUSE and automount sources are never handed to the probe.
  for (const auto& asked : probe.asked) EXPECT_EQ(asked.compare(0, 5, "/dev/"), 0) << asked;
}

TEST(MountInfo, RootIsKeptWhateverItIs) {
  const char* const container =
      "600 500 0:80 / / rw,relatime - overlay overlay rw,lowerdir=/l,upperdir=/u\n"
      "601 600 254:0 /data /data rw - ext4 /dev/vda rw\n"
      "602 600 254:0 /other /other rw - ext4 /dev/vda rw\n";
  FakeProbe probe;
  probe.devices = {{"/dev/vda", "254:0"}, {"/dev/sda1", "8:1"}};
  EXPECT_EQ(FixedMountPoints(ParseMountInfo(container), {"overlay"}, probe), (std::vector<std::string>{"/", "/data"}));
  // Root bind-mounted elsewhere first: the device is named by "/", even when removable (a live stick).
  const auto bindFirst = ParseMountInfo("10 1 8:1 / /mnt/root-bind rw - ext4 /dev/sda1 rw\n"
                                        "11 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
  EXPECT_EQ(FixedMountPoints(bindFirst, {}, probe), std::vector<std::string>{"/"});
  probe.removable = {"8:1"};
  EXPECT_EQ(FixedMountPoints(bindFirst, {}, probe), std::vector<std::string>{"/"});
  EXPECT_TRUE(FixedMountPoints(ParseMountInfo(""), {}, probe).empty());
}

}  // namespace
