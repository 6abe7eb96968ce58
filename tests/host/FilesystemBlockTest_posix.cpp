#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "report/FileTree.h"
#include "report/blocks/FilesystemBlock.h"
#include "runtime/Str.h"

namespace {

constexpr time_t kMarch5 = 1709629623;  // 2024-03-05 09:07:03 UTC

// A product folder of real files, links and a FIFO under /tmp, removed afterwards.
class FilesystemBlockHost : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dromika-fs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    product_ = root_ + "/Prod";
    mkdir(product_.c_str(), 0755);
    mkdir((product_ + "/sub").c_str(), 0755);
  }
  void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(product_ + "/" + name, std::ios::binary) << bytes;
    Stamp(name);
  }
  void Stamp(const std::string& name) {
    const timespec times[2] = {{kMarch5, 0}, {kMarch5, 0}};
    utimensat(AT_FDCWD, (product_ + "/" + name).c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
  std::wstring Produce() {
    const auto& machine = platform::HostMachine();
    FileTree tree(*machine.files);
    tree.AddFolderContents(&tree, str::as_wstring(product_ + "/"), true);
    if (beforeProduce_) beforeProduce_();
    return dromika::FilesystemBlock(machine, &tree).Produce();
  }
  static bool Has(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

  std::string root_, product_;
  std::function<void()> beforeProduce_;
};

TEST_F(FilesystemBlockHost, RealFilesShowSizeTimeAndContent) {
  Write("app.log", "start\r\n\tindented\n");
  Write("empty.txt", "");
  Write("notes.txt", std::string("caf\xE9 \xC3\xA9t\xE9", 9));
  Write("R&D <x>.xml", "<a/>");
  Write("sub/deep.bin", "1234");
  std::string big(600000, 'b');
  big.front() = 'H';
  big.back() = 'T';
  Write("big.log", big);
  ASSERT_EQ(truncate((product_ + "/huge.bin").c_str(), 0), -1);  // absent yet
  { std::ofstream(product_ + "/huge.bin"); }
  ASSERT_EQ(truncate((product_ + "/huge.bin").c_str(), 5ll << 30), 0);  // sparse: costs no disk
  Stamp("huge.bin");

  const std::wstring text = Produce();
  const std::wstring date = L" datemodified=\"05/03/2024 9:07:03\"";
  EXPECT_TRUE(Has(text, L"<dir name=\"Prod\">\r\n")) << str::as_u8string(text);
  EXPECT_TRUE(Has(text, L"<file name=\"app.log\" bytes=\"17\" size=\"17 B\"" + date +
                            L">\nstart&#013;\n&#009;indented\n"));
  EXPECT_TRUE(Has(text, L"<file name=\"empty.txt\" bytes=\"0\" size=\"0 B\"" + date + L">\n"));
  EXPECT_TRUE(Has(text, L">\ncaf&#233; &#233;t&#233;"));
  EXPECT_TRUE(Has(text, L"<file name=\"R&amp;D &lt;x&gt;.xml\" bytes=\"4\" size=\"4 B\"" + date + L">\n&lt;a/&gt;"));
  EXPECT_TRUE(Has(text, L"<file name=\"deep.bin\" bytes=\"4\" size=\"4 B\"" + date + L"/>\n"));
  EXPECT_TRUE(Has(text, L"<file name=\"huge.bin\" bytes=\"5368709120\" size=\"5 GB\"" + date + L"/>\n"));
  EXPECT_TRUE(Has(text, L">\nH" + std::wstring(255999, L'b') + dromika::kContentNotice + std::wstring(255999, L'b') +
                            L"T"));
}

// A link to the folder's own parent is listed once, as an entry, and never followed.
TEST_F(FilesystemBlockHost, LinkToTheParentIsListedOnce) {
  ASSERT_EQ(symlink("..", (product_ + "/up").c_str()), 0);
  ASSERT_EQ(symlink("../Prod", (product_ + "/sub/again").c_str()), 0);
  Write("sub/x.txt", "x");
  const std::wstring text = Produce();
  size_t dirs = 0;
  for (size_t at = 0; (at = text.find(L"<dir name=\"Prod\">", at)) != std::wstring::npos; ++at) ++dirs;
  EXPECT_EQ(dirs, 1u);
  EXPECT_TRUE(Has(text, L"<file name=\"up\" bytes=\"2\" size=\"2 B\""));
  EXPECT_TRUE(Has(text, L"<file name=\"again\" bytes=\"7\" size=\"7 B\""));
}

// None of these may hang, crash or break the document.
TEST_F(FilesystemBlockHost, FifosVanishedFilesAndUndecodableNamesDegrade) {
  ASSERT_EQ(mkfifo((product_ + "/pipe.log").c_str(), 0644), 0);
  Stamp("pipe.log");
  Write("gone.txt", "soon gone");
  Write(std::string("bad\xFFname.txt"), "odd name");
  Write("ctl\x01name.bin", "");
  beforeProduce_ = [&] { unlink((product_ + "/gone.txt").c_str()); };
  const std::wstring text = Produce();
  EXPECT_TRUE(Has(text, L"<file name=\"pipe.log\" bytes=\"0\" size=\"0 B\" datemodified=\"05/03/2024 9:07:03\">\n"
                        L"       </file>\n"))
      << str::as_u8string(text);
  EXPECT_FALSE(Has(text, L"gone.txt"));
  EXPECT_TRUE(Has(text, L"<file name=\"bad&#255;name.txt\" bytes=\"8\" size=\"8 B\""));
  EXPECT_TRUE(Has(text, L">\nodd name       </file>\n"));
  EXPECT_TRUE(Has(text, L"<file name=\"ctlname.bin\" bytes=\"0\""));
}

TEST_F(FilesystemBlockHost, UnreadableFolderGivesAnEmptyDir) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  Write("sub/secret.txt", "s");
  chmod((product_ + "/sub").c_str(), 0);
  const std::wstring text = Produce();
  chmod((product_ + "/sub").c_str(), 0755);
  EXPECT_TRUE(Has(text, L"<dir name=\"sub\">\r\n    </dir>\r\n"));
}

}  // namespace
