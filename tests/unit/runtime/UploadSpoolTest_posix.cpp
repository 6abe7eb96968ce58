#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "runtime/UploadSpool.h"
#include "testing/TempFolder.h"

namespace {

using ws::analytics::impl::MakePrivateFolder;

mode_t Mode(const std::filesystem::path& path) {
  struct stat info = {};
  return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(UploadSpool, FoldersAreMadePrivateAndALinkIsRefused) {
  testing::TempFolder folder;
  const std::filesystem::path root = folder.Root();
  ASSERT_TRUE(MakePrivateFolder(folder.Path(L"state/dromika/spool")).ok());
  EXPECT_EQ(Mode(root / "state") | Mode(root / "state/dromika") | Mode(root / "state/dromika/spool"), 0700u);
  ::mkdir((root / "open").c_str(), 0777);
  ::chmod((root / "open").c_str(), 0777);
  ASSERT_TRUE(MakePrivateFolder(folder.Path(L"open")).ok());
  EXPECT_EQ(Mode(root / "open"), 0700u);
  // A link planted where the spool goes would send the documents elsewhere.
  ::symlink((root / "open").c_str(), (root / "link").c_str());
  EXPECT_NE(MakePrivateFolder(folder.Path(L"link")).text().find(L"is not a folder of this user's"), std::wstring::npos);
}

}  // namespace
