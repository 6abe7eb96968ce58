#include "platform/linux/MountInfo.h"

#include <gtest/gtest.h>

#include <map>

#include "testing/Fixture.h"

namespace {

using namespace platform::mounts;

// A laptop: root and home on NVMe partitions, a btrfs subvolume and a bind
// mount repeating devices, a USB stick, a loop-mounted snap, NFS, sshfs,
// autofs, tmpfs and mount points holding escapes.
std::string Laptop(const char* file) { return testing::ReadFixture(std::string("platform/laptop.") + file); }

struct FakeProbe : DeviceProbe {
  std::map<std::string, std::string> devices = {  // path to major:minor
      {"/dev/nvme0n1p2", "259:2"}, {"/dev/nvme0n1p3", "259:3"}, {"/dev/nvme0n1p1", "259:1"}, {"/dev/sda1", "8:1"},
      {"/dev/loop0", "7:0"},       {"/dev/sdb1", "8:17"},       {"/dev/sdc1", "8:33"},       {"/dev/sdd1", "8:49"},
      {"/dev/vda", "254:0"}};
  std::set<std::string> removable = {"8:17"};
  std::vector<std::string> asked;

  std::optional<std::string> BlockDeviceId(const std::string& path) override {
    asked.push_back(path);
    return devices.count(path) ? std::optional<std::string>(devices[path]) : std::nullopt;
  }
  bool IsRemovable(const std::string& deviceId) override { return removable.count(deviceId) > 0; }
};

TEST(MountInfo, ParsesFieldsAroundTheOptionalTagsAndDecodesOnlyWellFormedEscapes) {
  const auto mounts = ParseMountInfo(Laptop("mountinfo"));
  ASSERT_EQ(mounts.size(), 17u);  // the garbage line is left out
  EXPECT_EQ(mounts[0].mountPoint + "|" + mounts[0].fsType + "|" + mounts[0].source, "/|ext4|/dev/nvme0n1p2");
  EXPECT_EQ(mounts[10].mountPoint + "|" + mounts[15].mountPoint, "/media/user/USB STICK|/mnt/My Disk\\x");
  EXPECT_EQ(ParseMountInfo("1 2 3:4 / /x rw - ext4\n").size(), 0u);
  EXPECT_EQ(ParseNodevTypes(Laptop("filesystems")),
            (std::set<std::string>{"sysfs", "tmpfs", "proc", "devtmpfs", "autofs", "nfs4", "fuse", "overlay"}));
  EXPECT_EQ(DecodeOctalEscapes("a\\040b\\011c\\012d\\134e"), "a b\tc\nd\\e");
  for (const char* kept : {"\\04", "\\999\\400x", "tail\\"}) EXPECT_EQ(DecodeOctalEscapes(kept), kept);
}

TEST(MountInfo, KeepsOneLocalFixedMountPerDevice) {
  FakeProbe probe;
  EXPECT_EQ(FixedMountPoints(ParseMountInfo(Laptop("mountinfo")), ParseNodevTypes(Laptop("filesystems")), probe),
            (std::vector<std::string>{"/", "/home", "/boot/efi", "/data", "/mnt/My Disk\\x", "/mnt/external"}));
  // Network, FUSE and automount sources are never handed to the probe.
  for (const auto& asked : probe.asked) EXPECT_EQ(asked.compare(0, 5, "/dev/"), 0) << asked;
}

TEST(MountInfo, RootIsKeptWhateverItIs) {
  const auto container = ParseMountInfo("600 500 0:80 / / rw,relatime - overlay overlay rw,lowerdir=/l\n"
                                        "601 600 254:0 /data /data rw - ext4 /dev/vda rw\n"
                                        "602 600 254:0 /other /other rw - ext4 /dev/vda rw\n");
  FakeProbe probe;
  EXPECT_EQ(FixedMountPoints(container, {"overlay"}, probe), (std::vector<std::string>{"/", "/data"}));
  // Root bind-mounted elsewhere first: the device is named by "/", even when removable (a live stick).
  const auto bindFirst = ParseMountInfo("10 1 8:1 / /mnt/root-bind rw - ext4 /dev/sda1 rw\n"
                                        "11 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
  EXPECT_EQ(FixedMountPoints(bindFirst, {}, probe), std::vector<std::string>{"/"});
  probe.removable = {"8:1"};
  EXPECT_EQ(FixedMountPoints(bindFirst, {}, probe), std::vector<std::string>{"/"});
  EXPECT_TRUE(FixedMountPoints(ParseMountInfo(""), {}, probe).empty());
}

}  // namespace
