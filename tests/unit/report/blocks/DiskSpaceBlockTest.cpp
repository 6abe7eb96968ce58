#include <gtest/gtest.h>

#include "report/blocks/DiskSpaceBlock.h"
#include "testing/MemoryMachine.h"

namespace {

using platform::DriveSpace;
using platform::DriveType;

std::wstring Produce(platform::MemoryMachine& machine) { return dromika::DiskSpaceBlock(machine.machine()).Produce(); }

TEST(DiskSpaceBlock, ListsOnlyFixedDrivesInListOrder) {
  platform::MemoryMachine machine;
  machine.drives.Add(L"A:\\", DriveType::kRemovable);
  machine.drives.Add(L"C:\\", DriveType::kFixed, DriveSpace{100000000000ull, 500000000000ull, 123456789012ull});
  machine.drives.Add(L"D:\\", DriveType::kCdRom);
  machine.drives.Add(L"E:\\", DriveType::kFixed, DriveSpace{500ull << 20, 1ull << 40, 700ull << 20});
  machine.drives.Add(L"N:\\", DriveType::kRemote);
  machine.drives.Add(L"R:\\", DriveType::kRamDisk);
  machine.drives.Add(L"U:\\", DriveType::kUnknown);
  EXPECT_EQ(Produce(machine),
            L"<disks>\n"
            L"  <disk type=\"fixed\" drive=\"C:\\\" totalfreebytes=\"123456789012\" totalavailablebytes=\"100000000000\""
            L" totalfree=\"115 GB\" totalavailable=\"93 GB\"/>\n"
            L"  <disk type=\"fixed\" drive=\"E:\\\" totalfreebytes=\"734003200\" totalavailablebytes=\"524288000\""
            L" totalfree=\"700 MB\" totalavailable=\"500 MB\"/>\n"
            L"</disks>\n");
}

TEST(DiskSpaceBlock, NoListOrNoFiguresDegrade) {
  platform::MemoryMachine machine;
  EXPECT_EQ(Produce(machine), L"<disks>\n</disks>\n");
  machine.drives.Add(L"/media/R&D <1>/", DriveType::kFixed, std::nullopt);
  EXPECT_EQ(Produce(machine),
            L"<disks>\n"
            L"  <disk type=\"fixed\" drive=\"/media/R&amp;D &lt;1&gt;/\" totalfreebytes=\"0\" totalavailablebytes=\"0\""
            L" totalfree=\"0 B\" totalavailable=\"0 B\"/>\n"
            L"</disks>\n");
}

}  // namespace
