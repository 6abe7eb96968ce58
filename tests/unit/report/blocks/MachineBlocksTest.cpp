#include <gtest/gtest.h>

#include "report/blocks/DiskSpaceBlock.h"
#include "report/blocks/NetworkingBlock.h"
#include "report/blocks/ProcessBlock.h"
#include "testing/MemoryMachine.h"
#include "unit/report/ReportFixture.h"

namespace {

using platform::DriveSpace;
using platform::DriveType;

platform::NetworkAdapter Adapter(const std::string& description, std::vector<uint8_t> address,
                                 std::vector<platform::IpAddressEntry> ips) {
  platform::NetworkAdapter adapter;
  adapter.description = description;
  std::copy(address.begin(), address.end(), adapter.address.begin());
  adapter.addressLength = static_cast<uint32_t>(address.size());
  adapter.ipAddresses = std::move(ips);
  return adapter;
}

// Adapters show six address bytes, descriptions that are not UTF-8 keep each
// byte's value; only fixed drives are listed, with zeros where the figures
// cannot be read; processes come in name order.
TEST(MachineBlocks, AdaptersDrivesAndProcesses) {
  platform::MemoryMachine machine;
  machine.network.adapters = {
      Adapter("Intel(R) Ethernet & Wi-Fi", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
              {{"192.168.1.20", "255.255.255.0"}, {"10.0.0.5", "255.0.0.0"}}),
      Adapter("Disconnected", {0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0x99, 0x88}, {{"0.0.0.0", "0.0.0.0"}}),
      Adapter("tun0", {}, {}),
      Adapter("Caf\xE9 \"<LAN>\"\x01", {1, 2, 3, 4, 5, 6}, {{"1.2.3.4<", "\"0\""}}),
  };
  machine.drives.Add(L"A:\\", DriveType::kRemovable);
  machine.drives.Add(L"C:\\", DriveType::kFixed, DriveSpace{100000000000ull, 500000000000ull, 123456789012ull});
  machine.drives.Add(L"D:\\", DriveType::kCdRom);
  machine.drives.Add(L"E:\\", DriveType::kFixed, DriveSpace{500ull << 20, 1ull << 40, 700ull << 20});
  machine.drives.Add(L"N:\\", DriveType::kRemote);
  machine.drives.Add(L"R:\\", DriveType::kRamDisk);
  machine.drives.Add(L"U:\\", DriveType::kUnknown);
  machine.drives.Add(L"/media/R&D <1>/", DriveType::kFixed, std::nullopt);
  machine.management.AddRow(L"Win32_Process", {{L"ProcessId", L"4"}, {L"Name", L"System"}, {L"CommandLine", L""}});
  machine.management.AddRow(L"Win32_Process", {{L"Name", L"a&b.exe"}, {L"ProcessId", L"812"}});
  const platform::Machine m = machine.machine();
  const std::wstring text = dromika::NetworkingBlock(m).Produce() + dromika::DiskSpaceBlock(m).Produce();
  ExpectFixture(text + dromika::ProcessBlock(m).Produce(), "machine-blocks.xml");
  EXPECT_EQ(machine.management.openSessions, 0);
}

}  // namespace
