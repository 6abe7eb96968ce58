#include "runtime/UploadSpool.h"

#include <gtest/gtest.h>

#include "testing/TempFolder.h"

namespace {

using ws::analytics::impl::SpoolEntry;
using ws::analytics::impl::UploadSpool;

std::string Bodies(const UploadSpool& spool) {
  std::string all, body;
  for (const SpoolEntry& entry : spool.List()) all += spool.Read(entry, body) ? body.substr(0, 1) : "?";
  return all;
}

TEST(UploadSpool, KeepsDocumentsInOrderAndDropsTheOldestBeyondItsBounds) {
  testing::TempFolder folder;
  const UploadSpool spool(folder.Path(L"state/dromika/spool"), {3, 1000});
  EXPECT_TRUE(spool.List().empty());  // no folder yet
  size_t dropped = 9;
  for (const char* body : {"a", "b", "c"}) ASSERT_TRUE(spool.Keep(std::string(100, *body), dropped).ok());
  EXPECT_EQ(dropped, 0u);
  // Files it did not write are neither listed nor dropped.
  std::ofstream(folder.Root() / "state/dromika/spool/notes.txt") << "x";
  std::ofstream(folder.Root() / "state/dromika/spool/.dromika-1a2b") << "x";
  ASSERT_TRUE(spool.Keep(std::string(100, 'd'), dropped).ok());
  EXPECT_EQ(Bodies(spool) + std::to_string(dropped), "bcd1");  // the count bound
  ASSERT_TRUE(spool.Keep(std::string(900, 'e'), dropped).ok());
  EXPECT_EQ(Bodies(spool) + std::to_string(dropped), "de2");  // the byte bound
  EXPECT_EQ(spool.Keep(std::string(1001, 'f'), dropped).text(), L"it is larger than the 1000 bytes the spool holds");
  spool.Remove(spool.List().front());
  spool.Remove(SpoolEntry{L"0000000000000001-00000000.xml.gz"});  // gone already
  EXPECT_EQ(Bodies(spool) + std::to_string(dropped), "e0");
  EXPECT_TRUE(std::filesystem::exists(folder.Root() / "state/dromika/spool/notes.txt"));
  EXPECT_TRUE(std::filesystem::exists(folder.Root() / "state/dromika/spool/.dromika-1a2b"));
}

}  // namespace
