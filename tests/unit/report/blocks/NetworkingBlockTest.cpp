#include <gtest/gtest.h>

#include "report/blocks/NetworkingBlock.h"
#include "testing/MemoryMachine.h"

namespace {

platform::NetworkAdapter Adapter(const std::string& description, std::vector<uint8_t> address,
                                 std::vector<platform::IpAddressEntry> ips) {
  platform::NetworkAdapter adapter;
  adapter.description = description;
  std::copy(address.begin(), address.end(), adapter.address.begin());
  adapter.addressLength = static_cast<uint32_t>(address.size());
  adapter.ipAddresses = std::move(ips);
  return adapter;
}

std::wstring Produce(platform::MemoryMachine& machine) { return dromika::NetworkingBlock(machine.machine()).Produce(); }

TEST(NetworkingBlock, NoAdaptersGivesTheBareContainer) {
  platform::MemoryMachine machine;
  EXPECT_EQ(Produce(machine), L"<networking>\r\n</networking>\r\n");
}

TEST(NetworkingBlock, AdaptersWithTheirAddresses) {
  platform::MemoryMachine machine;
  machine.network.adapters = {
      Adapter("Intel(R) Ethernet & Wi-Fi", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
              {{"192.168.1.20", "255.255.255.0"}, {"10.0.0.5", "255.0.0.0"}}),
      Adapter("Disconnected", {0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0x99, 0x88}, {{"0.0.0.0", "0.0.0.0"}}),
      Adapter("tun0", {}, {}),
  };
  EXPECT_EQ(Produce(machine),
            L"<networking>\r\n"
            L"  <adapter description=\"Intel(R) Ethernet &amp; Wi-Fi\" address=\"00-1a-2b-3c-4d-5e\">\r\n"
            L"    <ip v=\"4\" address=\"192.168.1.20\" mask=\"255.255.255.0\" />\r\n"
            L"    <ip v=\"4\" address=\"10.0.0.5\" mask=\"255.0.0.0\" />\r\n"
            L"  </adapter>\r\n"
            L"  <adapter description=\"Disconnected\" address=\"ff-ee-dd-cc-bb-aa\">\r\n"
            L"  </adapter>\r\n"
            L"  <adapter description=\"tun0\" address=\"00-00-00-00-00-00\">\r\n"
            L"  </adapter>\r\n"
            L"</networking>\r\n");
}

// A description that is not UTF-8 keeps its bytes as characters of the same value.
TEST(NetworkingBlock, OddTextStaysWellFormed) {
  platform::MemoryMachine machine;
  machine.network.adapters = {Adapter("Caf\xE9 \"<LAN>\"\x01", {1, 2, 3, 4, 5, 6}, {{"1.2.3.4<", "\"0\""}})};
  EXPECT_EQ(Produce(machine),
            L"<networking>\r\n"
            L"  <adapter description=\"Caf&#233; &quot;&lt;LAN&gt;&quot;\" address=\"01-02-03-04-05-06\">\r\n"
            L"    <ip v=\"4\" address=\"1.2.3.4&lt;\" mask=\"&quot;0&quot;\" />\r\n"
            L"  </adapter>\r\n"
            L"</networking>\r\n");
}

}  // namespace
