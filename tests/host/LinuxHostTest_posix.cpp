#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "platform/Machine.h"
#include "platform/linux/DmiBios.h"
#include "report/FileTree.h"
#include "report/blocks/DiskSpaceBlock.h"
#include "report/blocks/FilesystemBlock.h"
#include "report/blocks/ProductsBlock.h"
#include "report/blocks/RegistryBlock.h"
#include "runtime/Str.h"
#include "testing/Fixture.h"
#include "testing/MemoryMachine.h"
#include "testing/MemoryTextFiles.h"

namespace {

// A product folder of real files, links and a FIFO, as the file system block
// shows it, at a fixed depth: the block lists the folders above it too.
class FilesystemBlockHost : public ::testing::Test {
 protected:
  FilesystemBlockHost() : root_(mkdtemp(pattern_)) { std::filesystem::create_directories(Path("sub")); }
  ~FilesystemBlockHost() override { std::filesystem::remove_all(root_); }
  std::string Path(const std::string& relative) const { return root_ + "/Prod/" + relative; }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    Stamp(name);
  }
  void Stamp(const std::string& name) {
    const timespec march5[2] = {{1709629623, 0}, {1709629623, 0}};  // 2024-03-05 09:07:03 UTC
    utimensat(AT_FDCWD, Path(name).c_str(), march5, AT_SYMLINK_NOFOLLOW);
  }
  // Produced after `beforeProduce` runs on the noted tree.
  std::wstring Produce(const std::function<void()>& beforeProduce = [] {}) {
    const auto& machine = platform::HostMachine();
    FileTree tree(*machine.files);
    tree.AddFolderContents(&tree, str::as_wstring(Path("")), true);
    beforeProduce();
    return dromika::FilesystemBlock(machine, &tree).Produce();
  }

  char pattern_[23] = "/tmp/dromika-fs-XXXXXX";
  const std::string root_;
};

// Files are listed in the order the file system gives, so each element is
// looked for alone and together they must make up the whole block.
TEST_F(FilesystemBlockHost, RealFilesLinksAndOddEntries) {
  for (const auto& [name, bytes] : std::map<std::string, std::string>{
           {"app.log", "start\r\n\tindented\n"}, {"empty.txt", ""}, {"sub/deep.bin", "1234"}, {"huge.bin", ""},
           {"big.log", "H" + std::string(599998, 'b') + "T"}, {"gone.txt", "soon"}, {"bad\xFFname.txt", "odd name"}}) {
    Write(name, bytes);
  }
  ASSERT_EQ(truncate(Path("huge.bin").c_str(), 5ll << 30), 0);  // sparse: costs no disk
  ASSERT_EQ(symlink("..", Path("up").c_str()), 0);  // listed once, never followed
  ASSERT_EQ(symlink("../Prod", Path("sub/again").c_str()), 0);
  ASSERT_EQ(mkfifo(Path("pipe.log").c_str(), 0644), 0);  // must not hang the read
  for (const char* name : {"huge.bin", "up", "sub/again", "pipe.log"}) Stamp(name);

  const std::wstring text = Produce([&] { unlink(Path("gone.txt").c_str()); });
  const std::wstring at = L" datemodified=\"05/03/2024 9:07:03\"";
  const std::wstring elements[] = {
      L"<filesystem>\n  <dir name=\"tmp\">\r\n  <dir name=\"dromika-fs-",  // and six random characters
      L"\">\r\n    <dir name=\"Prod\">\r\n      <dir name=\"sub\">\r\n",
      L"        <file name=\"deep.bin\" bytes=\"4\" size=\"4 B\"" + at + L"/>\n",
      L"        <file name=\"again\" bytes=\"7\" size=\"7 B\"" + at + L"/>\n",
      L"      </dir>\r\n",
      L"       <file name=\"app.log\" bytes=\"17\" size=\"17 B\"" + at +
          L">\nstart&#013;\n&#009;indented\n       </file>\n",
      L"       <file name=\"empty.txt\" bytes=\"0\" size=\"0 B\"" + at + L">\n       </file>\n",
      L"       <file name=\"big.log\" bytes=\"600000\" size=\"586 KB\"" + at + L">\nH" + std::wstring(255999, L'b') +
          dromika::kContentNotice + std::wstring(255999, L'b') + L"T       </file>\n",
      L"       <file name=\"huge.bin\" bytes=\"5368709120\" size=\"5 GB\"" + at + L"/>\n",
      L"       <file name=\"up\" bytes=\"2\" size=\"2 B\"" + at + L"/>\n",
      L"       <file name=\"pipe.log\" bytes=\"0\" size=\"0 B\"" + at + L">\n       </file>\n",
      L"       <file name=\"bad&#255;name.txt\" bytes=\"8\" size=\"8 B\"" + at + L">\nodd name       </file>\n",
      L"    </dir>\r\n  </dir>\r\n  </dir>\r\n</filesystem>\n",
  };
  size_t length = 6;
  for (const auto& element : elements) {
    EXPECT_NE(text.find(element), std::wstring::npos) << str::as_u8string(element);
    length += element.size();
  }
  EXPECT_EQ(text.size(), length) << str::as_u8string(text);
}

TEST_F(FilesystemBlockHost, UnreadableFolderGivesAnEmptyDir) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  Write("sub/secret.txt", "s");
  chmod(Path("sub").c_str(), 0);
  const std::wstring text = Produce();
  chmod(Path("sub").c_str(), 0755);
  EXPECT_NE(text.find(L"      <dir name=\"sub\">\r\n      </dir>\r\n"), std::wstring::npos) << str::as_u8string(text);
}

// Linux has no uninstall list and no maker's keys: the products block is
// empty and notes no folder, and the root file system is always a drive.
TEST(LinuxHostBlocks, NoProductsAndTheRootDrive) {
  const auto& machine = platform::HostMachine();
  FileTree tree(*machine.files);
  EXPECT_EQ(dromika::ProductsBlock(machine, &tree).Produce(), L"<products>\n</products>\n");
  EXPECT_TRUE(tree.children.empty());
  const std::wstring disks = dromika::DiskSpaceBlock(machine).Produce();
  EXPECT_NE(disks.find(L"  <disk type=\"fixed\" drive=\"/\" totalfreebytes=\""), std::wstring::npos);
}

// The registry holds only the BIOS key, built from the DMI files there are.
TEST(LinuxHostBlocks, RegistryIsTheBiosKeyFromDmi) {
  platform::MemoryTextFiles dmi;
  dmi.Add("/dmi/bios_vendor", "SeaBIOS\n");
  dmi.Add("/dmi/bios_date", "04/01/2014\n");
  dmi.Add("/dmi/product_name", "Standard PC (Q35 + ICH9, 2009)\n");
  platform::MemoryMachine memory, none;
  platform::FillBiosKeyFromDmi(memory.registry, dmi, "/dmi");
  platform::FillBiosKeyFromDmi(none.registry, dmi, "/no-dmi");
  const std::string expected = testing::ReadFixture("host/registry_dmi_posix.xml");
  EXPECT_EQ(str::as_u8string(dromika::RegistryBlock(memory.machine()).Produce()), expected);
  EXPECT_EQ(dromika::RegistryBlock(none.machine()).Produce(), L"<registry>\n</registry>\n");
  const std::string host = str::as_u8string(dromika::RegistryBlock(platform::HostMachine()).Produce());
  const std::string head = expected.substr(0, expected.find("            <value"));
  EXPECT_TRUE(host == "<registry>\n</registry>\n" || host.rfind(head, 0) == 0) << host;
}

}  // namespace
