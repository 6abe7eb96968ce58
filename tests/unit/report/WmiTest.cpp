#include <gtest/gtest.h>

#include "report/Wmi.h"
#include "runtime/Str.h"
#include "testing/MemoryManagement.h"

namespace {

class Wmi : public ::testing::Test {
 protected:
  platform::MemoryManagement management;
};

TEST_F(Wmi, RowsAreOrderedByUtf16CodeUnits) {
  std::wstring smiley;
  str::AppendCodePoint(smiley, 0x1F600);  // a surrogate pair in UTF-16: below U+E000
  management.AddRow(L"Win32_Processor",
                    {{L"name", L"3"}, {L"Name", L"2"}, {L"\uFF21", L"5"}, {smiley, L"4"}, {L"Caption", L"1"}});
  auto rows = WmiQuery(OpenWmiConnection(&management), L"SELECT * FROM Win32_Processor");
  ASSERT_EQ(rows.size(), 1u);
  std::vector<std::wstring> values;
  for (const auto& entry : rows[0]) values.push_back(entry.second);
  EXPECT_EQ(values, (std::vector<std::wstring>{L"1", L"2", L"3", L"4", L"5"}));
}

TEST_F(Wmi, QueryKeepsDeliveryOrderAndEveryProperty) {
  management.AddRow(L"Win32_Process", {{L"ProcessId", L"8"}, {L"Name", L"b.exe"}, {L"CommandLine", L""}});
  management.AddRow(L"Win32_Process", {{L"ProcessId", L"4"}, {L"Name", L"a.exe"}});
  auto rows = WmiQuery(OpenWmiConnection(&management), L"SELECT * FROM Win32_Process");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (WmiRow{{L"CommandLine", L""}, {L"Name", L"b.exe"}, {L"ProcessId", L"8"}}));
  EXPECT_EQ(rows[1].at(L"ProcessId"), L"4");
}

TEST_F(Wmi, UnreachableSourceGivesAnEmptyPointerAndNoRows) {
  management.AddRow(L"Win32_Process", {{L"Name", L"a.exe"}});
  management.FailConnect(L"Failed to find WMI locator");
  WmiConnectionPtr connection = OpenWmiConnection(&management);
  EXPECT_EQ(connection, nullptr);
  EXPECT_TRUE(WmiQuery(connection, L"SELECT * FROM Win32_Process").empty());
  EXPECT_TRUE(management.queries.empty());
  EXPECT_EQ(OpenWmiConnection(nullptr), nullptr);
}

TEST_F(Wmi, ConnectionOwnsOneSessionUntilDisconnectedOrDestroyed) {
  WmiConnection connection(&management);
  EXPECT_TRUE(connection.Connect().ok());
  EXPECT_TRUE(connection.Connect().ok());  // already connected: no second session
  EXPECT_EQ(management.openSessions, 1);
  EXPECT_TRUE(connection.Disconnect().ok());
  EXPECT_TRUE(connection.Disconnect().ok());
  EXPECT_EQ(management.openSessions, 0);
  {
    WmiConnectionPtr open = OpenWmiConnection(&management);
    EXPECT_EQ(management.openSessions, 1);
  }
  EXPECT_EQ(management.openSessions, 0);
}

TEST_F(Wmi, ConnectReportsTheSourcesError) {
  management.FailConnect(L"Failed CoInitializeEx");
  WmiConnection connection(&management);
  const qtl::status status = connection.Connect();
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.get()->message, L"Failed CoInitializeEx");
  EXPECT_EQ(connection.Session(), nullptr);
}

TEST(WmiRowsToXml, OneEmptyElementPerRowJoinedWithCrLf) {
  const std::vector<WmiRow> rows = {{{L"Name", L"a.exe"}, {L"ProcessId", L"4"}}, {{L"Name", L""}}};
  EXPECT_EQ(WmiRowsToXml(rows, L"Win32_Process", L"    "),
            L"    <Win32_Process Name=\"a.exe\" ProcessId=\"4\"/>\r\n    <Win32_Process Name=\"\"/>");
  EXPECT_EQ(WmiRowsToXml({}, L"Win32_Process", L"    "), L"");
}

TEST(WmiRowsToXml, EscapesNamesAndValues) {
  const std::vector<WmiRow> rows = {{{L"a<b", L"x & \"y\" <z>"}, {L"Caption", L"caf\u00e9"}}};
  EXPECT_EQ(WmiRowsToXml(rows, L"E", L""),
            L"<E Caption=\"caf&#233;\" a&lt;b=\"x &amp; &quot;y&quot; &lt;z&gt;\"/>");
}

TEST(WmiRowsToXml, ExclusionsAreExactAndCaseSensitive) {
  const std::vector<WmiRow> rows = {{{L"SystemName", L"HOST"}, {L"systemname", L"kept"}, {L"Name", L"cpu"}}};
  EXPECT_EQ(WmiRowsToXml(rows, L"Win32_Processor", L"  ", {L"SystemName"}),
            L"  <Win32_Processor Name=\"cpu\" systemname=\"kept\"/>");
  EXPECT_EQ(WmiRowsToXml(rows, L"Win32_Processor", L"  ", {L"SystemName", L"systemname", L"Name"}),
            L"  <Win32_Processor/>");
}

}  // namespace
