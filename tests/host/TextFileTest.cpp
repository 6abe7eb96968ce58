#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Common/TextFile.h"
#include "runtime/Str.h"
#include "runtime/SystemError.h"
#include "testing/TempFolder.h"

namespace {

TEST(SaveTextToFile, WritesUtf8WithCrLfAndNoByteOrderMark) {
  testing::TempFolder folder;
  const std::wstring path = folder.Path(L"doc.xml");
  ASSERT_TRUE(SaveTextToFile(path, L"<a>\n caf\u00e9 \u20ac\n</a>\n"));
  EXPECT_EQ(folder.Read(L"doc.xml"), "<a>\r\n caf\xC3\xA9 \xE2\x82\xAC\r\n</a>\r\n");
  ASSERT_TRUE(SaveTextToFile(path, L"short\n"));
  EXPECT_EQ(folder.Read(L"doc.xml"), "short\r\n") << "an existing file is replaced";
}

size_t Entries(const testing::TempFolder& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder.Root()), {}));
}

// A failed save names the path and why, leaves the old file as it was and
// leaves no half-written file behind.
TEST(SaveText, FailuresChangeNothing) {
  testing::TempFolder folder;
  folder.Write(L"doc.xml", "old");
  folder.Write(L"dir/inside.txt", "");
  const std::wstring nul(1, L'\0');
  const std::vector<std::pair<std::wstring, std::wstring>> cases = {
      {folder.Path(L"missing") + L"/x.xml", L""},
      {folder.Path(L"dir"), L""},
      {folder.Path(L"doc.xml") + nul + L"/elsewhere", L"the path holds a NUL character"},
  };
  for (const auto& [path, why] : cases) {
    const qtl::status status = SaveText(path, L"new");
    ASSERT_FALSE(status.ok());
    const std::wstring prefix = L"Unable to save to " + path.substr(0, path.find(L'\0')) + L": ";
    EXPECT_EQ(status.text().rfind(prefix, 0), 0u) << str::as_u8string(status.text());
    EXPECT_GT(status.text().size(), prefix.size());
    if (!why.empty()) EXPECT_EQ(status.text(), prefix + why);
    EXPECT_EQ(status.text().find(L"\n"), std::wstring::npos);
    EXPECT_EQ(folder.Read(L"doc.xml"), "old");
    EXPECT_EQ(Entries(folder), 2u);
  }
  EXPECT_FALSE(SaveTextToFile(folder.Path(L"dir"), L"x"));
  EXPECT_NE(sys::LastErrorCode(), 0u) << "the wrapper leaves the failing call's error";
}

}  // namespace
