#include <gtest/gtest.h>

#include "report/Wmi.h"
#include "runtime/Str.h"
#include "testing/MemoryManagement.h"

namespace {

// Names within a row go by UTF-16 code units on every host.
TEST(Wmi, RowsAreOrderedByUtf16CodeUnits) {
  platform::MemoryManagement management;
  std::wstring smiley;
  str::AppendCodePoint(smiley, 0x1F600);  // a surrogate pair in UTF-16: below U+E000
  management.AddRow(L"Win32_Process",
                    {{L"name", L"3"}, {L"Name", L"2"}, {L"\uFF21", L"5"}, {smiley, L"4"}, {L"Caption", L"1"}});
  const auto rows = WmiQuery(OpenWmiConnection(&management), L"SELECT * FROM Win32_Process");
  std::wstring values;
  for (const auto& entry : rows.at(0)) values += entry.second;
  EXPECT_EQ(values, L"12345");
}

TEST(Wmi, ConnectionOwnsOneSessionUntilDisconnectedOrDestroyed) {
  platform::MemoryManagement management;
  {
    WmiConnectionPtr open = OpenWmiConnection(&management);
    EXPECT_TRUE(open->Connect().ok() && management.openSessions == 1);  // already connected: no second session
    EXPECT_TRUE(open->Disconnect().ok() && open->Disconnect().ok() && management.openSessions == 0);
    EXPECT_TRUE(open->Connect().ok());
  }
  EXPECT_EQ(management.openSessions, 0);
}

TEST(Wmi, UnreachableSourceGivesAnEmptyPointerAndNoRows) {
  platform::MemoryManagement management;
  management.FailConnect(L"Failed CoInitializeEx");
  WmiConnection connection(&management);
  EXPECT_EQ(connection.Connect().text(), L"Failed CoInitializeEx");
  // No connection at all: the bare machine's report.
  EXPECT_TRUE(!connection.Session() && !OpenWmiConnection(&management) && !OpenWmiConnection(nullptr));
}

TEST(WmiRowsToXml, EscapesNamesAndExcludesExactNamesOnly) {
  const std::vector<WmiRow> rows = {{{L"a<b", L"x"}, {L"SystemName", L"HOST"}, {L"systemname", L"kept"}}};
  EXPECT_EQ(WmiRowsToXml(rows, L"E", L"  ", {L"SystemName"}), L"  <E a&lt;b=\"x\" systemname=\"kept\"/>");
}

}  // namespace
