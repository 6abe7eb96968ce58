#include <gtest/gtest.h>

#include <regex>

#include "platform/Drives.h"
#include "platform/Machine.h"
#include "platform/Network.h"
#include "report/XmlText.h"
#include "report/blocks/DiskSpaceBlock.h"
#include "report/blocks/NetworkingBlock.h"
#include "runtime/Str.h"

namespace {

std::vector<std::wsmatch> Matches(const std::wstring& text, const std::wregex& pattern) {
  std::vector<std::wsmatch> found;
  for (std::wsregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) found.push_back(*it);
  return found;
}

// Every fixed drive of the host, in its order, with size texts matching its figures.
TEST(HostDiskSpaceBlock, ListsTheFixedDrivesOfTheHost) {
  const auto& machine = platform::HostMachine();
  std::vector<std::wstring> fixed;
  for (const auto& root : machine.drives->RootPaths()) {
    if (machine.drives->TypeOf(root) == platform::DriveType::kFixed) fixed.push_back(XmlEscape(root));
  }
  EXPECT_FALSE(fixed.empty());
  const std::wstring text = dromika::DiskSpaceBlock(machine).Produce();
  const std::wregex line(L"  <disk type=\"fixed\" drive=\"([^\"]*)\" totalfreebytes=\"(\\d+)\" totalavailablebytes=\"(\\d+)\""
                         L" totalfree=\"([^\"]+)\" totalavailable=\"([^\"]+)\"/>\n");
  const auto lines = Matches(text, line);
  std::vector<std::wstring> listed;
  for (const auto& m : lines) {
    listed.push_back(m[1]);
    EXPECT_EQ(m[4].str(), FormatByteSize(std::stoull(m[2].str()), 0));
    EXPECT_EQ(m[5].str(), FormatByteSize(std::stoull(m[3].str()), 0));
    EXPECT_LE(std::stoull(m[3].str()), std::stoull(m[2].str()));
  }
  EXPECT_EQ(listed, fixed) << str::as_u8string(text);
  EXPECT_EQ(text.substr(0, 8), L"<disks>\n");
  EXPECT_EQ(text.size(), 8 + 9 + [&] {
    size_t n = 0;
    for (const auto& m : lines) n += m.length(0);
    return n;
  }());
}

TEST(HostNetworkingBlock, ListsTheAdaptersOfTheHost) {
  const auto& machine = platform::HostMachine();
  const size_t adapters = machine.network->Adapters().size();
  const std::wstring text = dromika::NetworkingBlock(machine).Produce();
  const std::wregex adapter(L"  <adapter description=\"[ -~]*\" address=\"([0-9a-f]{2}-){5}[0-9a-f]{2}\">\r\n"
                            L"(    <ip v=\"4\" address=\"[0-9.]+\" mask=\"[0-9.]+\" />\r\n)*"
                            L"  </adapter>\r\n");
  const auto found = Matches(text, adapter);
  EXPECT_EQ(found.size(), adapters) << str::as_u8string(text);
  size_t length = 0;
  for (const auto& m : found) length += m.length(0);
  EXPECT_EQ(text.size(), length + 14 + 15);
}

}  // namespace
