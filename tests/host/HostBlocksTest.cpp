// The blocks that read the host's drives, adapters, management classes and
// monitors. Their shapes are the unit tests'; the classes, locale and .NET
// elements are checked end to end; here the host's own answers reach them.
#include <gtest/gtest.h>

#include <regex>

#include "platform/FileSystem.h"
#include "platform/Drives.h"
#include "platform/Machine.h"
#include "platform/Management.h"
#include "platform/Monitors.h"
#include "platform/Network.h"
#include "report/Wmi.h"
#include "report/XmlText.h"
#include "report/blocks/DiskSpaceBlock.h"
#include "report/blocks/NetworkingBlock.h"
#include "report/blocks/SystemBlock.h"
#include "runtime/Str.h"

namespace {

using dromika::SystemBlock;

// The matches of `line` in a block that must be `head`, such lines, and `tail`.
std::vector<std::wsmatch> Lines(const std::wstring& text, const std::wstring& head, const std::wregex& line,
                                const std::wstring& tail) {
  std::vector<std::wsmatch> found;
  size_t length = head.size() + tail.size();
  for (std::wsregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
    found.push_back(*it);
    length += it->length(0);
  }
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.size(), length) << str::as_u8string(text);
  return found;
}

// Every fixed drive of the host, in its order; the size texts are the unit tests'.
TEST(HostBlocks, DisksAreTheFixedDrives) {
  const auto& machine = platform::HostMachine();
  std::vector<std::wstring> fixed, listed;
  for (const auto& root : machine.drives->RootPaths()) {
    if (machine.drives->TypeOf(root) == platform::DriveType::kFixed) fixed.push_back(XmlEscape(root));
  }
  EXPECT_FALSE(fixed.empty());
  const std::wregex line(L"  <disk type=\"fixed\" drive=\"([^\"]*)\" totalfreebytes=\"(\\d+)\""
                         L" totalavailablebytes=\"(\\d+)\" totalfree=\"([^\"]+)\" totalavailable=\"([^\"]+)\"/>\n");
  const std::wstring text = dromika::DiskSpaceBlock(machine).Produce();
  for (const auto& m : Lines(text, L"<disks>\n", line, L"</disks>\n")) {
    listed.push_back(m[1]);
    EXPECT_LE(std::stoull(m[3].str()), std::stoull(m[2].str()));
  }
  EXPECT_EQ(listed, fixed);
}

TEST(HostBlocks, NetworkingListsTheAdapters) {
  const auto& machine = platform::HostMachine();
  const std::wregex adapter(L"  <adapter description=\"[ -~]*\" address=\"([0-9a-f]{2}-){5}[0-9a-f]{2}\">\r\n"
                            L"(    <ip v=\"4\" address=\"[0-9.]+\" mask=\"[0-9.]+\" />\r\n)*"
                            L"  </adapter>\r\n");
  const std::wstring text = dromika::NetworkingBlock(machine).Produce();
  EXPECT_EQ(Lines(text, L"<networking>\r\n", adapter, L"</networking>\r\n").size(), machine.network->Adapters().size());
}

TEST(HostBlocks, MonitorsHaveOnePrimary) {
  const auto& machine = platform::HostMachine();
  const std::wstring text = SystemBlock(machine, false, SystemBlock::kMonitors).Produce();
  const std::wregex monitor(L"    <monitor width=\"[0-9]+\" height=\"[0-9]+\" monitordesc=\"[^\"]*\" "
                            L"graphicscarddesc=\"[^\"]*\" primary=\"(yes|no)\"/>\r\n");
  size_t primary = 0;
  const auto lines = Lines(text, L"<system>\r\n  <monitors>\r\n", monitor, L"  </monitors>\r\n</system>\r\n");
  for (const auto& m : lines) primary += m[1] == L"yes";
  EXPECT_EQ(lines.size(), machine.monitors->List().size());
  EXPECT_EQ(primary, lines.empty() ? 0u : 1u);
  // Windows always has a display; wine gives one of 1024x768.
  EXPECT_TRUE(!lines.empty() || machine.files->Separator() == L'/');
}

// The system block and the process block each open and close a connection.
// The other classes' rows are checked end to end, their text forms from
// captured files in the unit tests.
TEST(HostBlocks, ManagementAnswersOnEveryConnection) {
  for (int round = 0; round < 3; ++round) {
    WmiConnectionPtr connection = OpenWmiConnection(&platform::HostManagement());
    ASSERT_NE(connection, nullptr) << round;
    const auto system = WmiQuery(connection, L"SELECT * FROM Win32_OperatingSystem");
    ASSERT_EQ(system.size(), 1u) << round;
    const std::wstring boot = system[0].at(L"LastBootUpTime");
    EXPECT_TRUE(boot.size() == 25u && boot[14] == L'.') << str::as_u8string(boot);  // yyyymmddHHMMSS.mmmmmm+UUU
    EXPECT_TRUE(WmiQuery(connection, L"SELECT * FROM Win32_NoSuchClass").empty());
  }
  // The derived language entry follows the LCID the operating system names.
  const std::wstring wmi = SystemBlock(platform::HostMachine(), false, SystemBlock::kWmi).Produce();
  EXPECT_NE(wmi.find(L"OSLanguageLanguage=\""), std::wstring::npos);
}

}  // namespace
