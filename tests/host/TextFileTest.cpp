#include <gtest/gtest.h>

#include <cstdio>
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
  EXPECT_EQ(folder.Read(L"doc.xml"), "short\r\n") << "an existing file is emptied first";
}

TEST(SaveTextToFile, MissingFolderFailsWithASystemMessage) {
  testing::TempFolder folder;
  EXPECT_FALSE(SaveTextToFile(folder.Path(L"missing") + L"/x.xml", L"x"));
  const std::string message = QRNErrMsg(sys::LastErrorCode());
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(message.find('\n'), std::string::npos);
}

}  // namespace
