#include <gtest/gtest.h>

#include "RegistryFixture_win32.h"
#include "platform/Machine.h"
#include "platform/Program.h"
#include "report/ReportBuilder.h"
#include "report/XmlText.h"
#include "report/blocks/FilesystemBlock.h"
#include "runtime/Banner.h"
#include "runtime/LongPath.h"
#include "runtime/Str.h"

namespace {

const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring TempFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId()) + L"\\";
}

using sys::file::ExtendedPath;

void RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW data{};
  HANDLE search = FindFirstFileW((ExtendedPath(folder) + L"*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolder(folder + name + L"\\");
      } else {
        DeleteFileW(ExtendedPath(folder + name).c_str());
      }
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  RemoveDirectoryW(ExtendedPath(folder).c_str());
}

// Installed products in the registry and their folders on the disk, read
// back through the products block and the file system block it feeds.
class HostProducts : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveFolder(folder_);
    CreateDirectoryW(folder_.c_str(), nullptr);
    CreateDirectoryW((folder_ + L"sub").c_str(), nullptr);
    CreateDirectoryW(plugin_.c_str(), nullptr);
  }
  void TearDown() override {
    RemoveFolder(folder_);
    RemoveFolder(plugin_);
  }
  void Write(const std::wstring& name, const std::string& bytes) {
    ASSERT_TRUE(fixture::WriteBytes(folder_ + name, bytes));
    ASSERT_TRUE(fixture::Stamp(folder_ + name, 2024, 3, 5, 9, 7, 3));
  }
  void CopySelf(const std::wstring& name) {
    ASSERT_TRUE(CopyFileW(platform::HostProgram().ModulePath().c_str(), (folder_ + name).c_str(), FALSE));
  }
  std::wstring Run() {
    ReportBuilder builder(0x20 | 0x80, false);
    builder.Reset();
    builder.RunAll([](const std::wstring&) {});
    return builder.BlockText();
  }
  static bool Has(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

  const std::wstring folder_ = TempFolder(L"dromika-product-");
  const std::wstring plugin_ = TempFolder(L"dromika-plugin-");
  fixture::ScratchKey uninstallA_{HKEY_LOCAL_MACHINE, kUninstall + L"{DROMIKA-TEST-A}"};
  fixture::ScratchKey uninstallB_{HKEY_LOCAL_MACHINE, kUninstall + L"{DROMIKA-TEST-B}"};
  fixture::ScratchKey maker_{HKEY_LOCAL_MACHINE, L"Software\\VANTOREL"};
};

TEST_F(HostProducts, ListsTheMakersProductsAndTheirFiles) {
  const std::wstring a = kUninstall + L"{DROMIKA-TEST-A}", b = kUninstall + L"{DROMIKA-TEST-B}";
  uninstallA_.Text(a, L"HelpLink", L"https://vantorel.example/support");
  uninstallA_.Text(a, L"InstallLocation", folder_);
  uninstallA_.Text(a, L"DisplayName", L"Tally & Co");
  uninstallA_.Text(a, L"DisplayVersion", L"10.2.0.7");
  uninstallA_.Text(a, L"Comments", L"<test>");
  uninstallB_.Text(b, L"HelpLink", L"https://VANTOREL.example/support");
  uninstallB_.Text(b, L"InstallLocation", folder_);
  maker_.Text(L"Software\\VANTOREL\\Plugin", L"InstallFolder", plugin_);
  maker_.Text(L"Software\\VANTOREL\\Plugin", L"ProductLabel", L"Plugin");
  maker_.Text(L"Software\\VANTOREL\\Plugin", L"ProductCode", L"{P}");
  maker_.Number(L"Software\\VANTOREL\\Plugin\\Inner", L"InstallLocation", 7);
  maker_.Text(L"Software\\VANTOREL\\Plugin\\Inner\\Leaf", L"ShellExInstallLocation", L"");
  ASSERT_TRUE(fixture::WriteBytes(plugin_ + L"plugin.txt", "plug"));

  CopySelf(L"tool.exe");
  CopySelf(L"helper.dll");
  CopySelf(L"SETUP.EXE");
  Write(L"app.log", "start\r\n\tindented\n");
  Write(L"README.TXT", "not shown");
  Write(L"product.xml", "<x a='1'/>");
  Write(L"appdebug", "dbg");
  Write(L"empty.txt", "");
  Write(L"sub\\deep.txt", "deep");
  std::string big(600000, 'b');
  big.front() = 'H';
  big.back() = 'T';
  Write(L"big.log", big);
  {
    HANDLE huge = CreateFileW((folder_ + L"huge.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(huge, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 5ll << 30;
    SetFilePointerEx(huge, size, nullptr, FILE_BEGIN);
    SetEndOfFile(huge);
    CloseHandle(huge);
  }

  const std::wstring text = Run();
  const std::wstring folder = XmlEscape(folder_), plugin = XmlEscape(plugin_);
  EXPECT_TRUE(Has(text, L"<products>\n"
                        L"  <product name=\"Tally &amp; Co\" installedversion=\"10.2.0.7\" comments=\"&lt;test&gt;\""
                        L" installlocation=\"" + folder + L"\" guid=\"{DROMIKA-TEST-A}\"/>\n"
                        L"  <product name=\"Plugin\" installedversion=\"\" installlocation=\"" + plugin +
                        L"\" guid=\"{P}\"/>\n"
                        L"  <product name=\"\" installedversion=\"\" installlocation=\"\" guid=\"\"/>\n"
                        L"</products>\n"))
      << str::as_u8string(text);

  const std::wstring version = str::as_wstring(version::BuildVersion());
  const std::wstring date = L" datemodified=\"05/03/2024 9:07:03\"";
  EXPECT_TRUE(Has(text, L"<file name=\"tool.exe\" bytes=\"")) << str::as_u8string(text.substr(0, 20000));
  EXPECT_TRUE(Has(text, L"\" version=\"" + version + L"\"/>\n"));
  for (const wchar_t* name : {L"tool.exe", L"helper.dll"}) {
    const size_t at = text.find(std::wstring(L"<file name=\"") + name);
    ASSERT_NE(at, std::wstring::npos) << name;
    EXPECT_NE(text.substr(at, text.find(L'\n', at) - at).find(L" version=\"" + version + L"\""), std::wstring::npos);
  }
  const size_t setup = text.find(L"<file name=\"SETUP.EXE\"");
  ASSERT_NE(setup, std::wstring::npos);
  EXPECT_EQ(text.substr(setup, text.find(L'\n', setup) - setup).find(L"version"), std::wstring::npos);
  EXPECT_TRUE(Has(text, L"<file name=\"app.log\" bytes=\"17\" size=\"17 B\"" + date +
                            L">\nstart&#013;\n&#009;indented\n"));
  EXPECT_TRUE(Has(text, L"<file name=\"README.TXT\" bytes=\"9\" size=\"9 B\"" + date + L"/>\n"));
  EXPECT_TRUE(Has(text, L"<file name=\"product.xml\" bytes=\"10\" size=\"10 B\"" + date + L">\n&lt;x a=&apos;1&apos;/&gt;"));
  EXPECT_TRUE(Has(text, L"<file name=\"appdebug\" bytes=\"3\" size=\"3 B\"" + date + L">\ndbg"));
  EXPECT_TRUE(Has(text, L"<file name=\"empty.txt\" bytes=\"0\" size=\"0 B\"" + date + L">\n"));
  EXPECT_TRUE(Has(text, L"<file name=\"deep.txt\" bytes=\"4\" size=\"4 B\"" + date + L">\ndeep"));
  EXPECT_TRUE(Has(text, L"<file name=\"huge.bin\" bytes=\"5368709120\" size=\"5 GB\""));
  EXPECT_TRUE(Has(text, L"<file name=\"plugin.txt\" bytes=\"4\" size=\"4 B\""));
  EXPECT_TRUE(Has(text, L">\nH" + std::wstring(255999, L'b') + dromika::kContentNotice + std::wstring(255999, L'b') +
                            L"T"));
}

// 32-bit installers write into the 32-bit registry view, and a product's
// folders may lie deeper than MAX_PATH: both are found, a key that both views
// hold is listed once (from the 64-bit view), and the deep file's content is
// read while the document keeps the path as it was given.
TEST_F(HostProducts, FindsThe32BitViewAndFoldersPastMaxPath) {
  const std::wstring key = kUninstall + L"{DROMIKA-TEST-32}";
  fixture::ScratchKey narrowUninstall{HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY};
  fixture::ScratchKey narrowMaker{HKEY_LOCAL_MACHINE, L"Software\\VANTOREL", KEY_WOW64_32KEY};
  std::wstring deep = folder_;
  for (int i = 0; i < 20 && deep.size() <= MAX_PATH + 20; ++i) {
    deep += L"a-folder-name-that-is-long\\";
    ASSERT_TRUE(CreateDirectoryW(ExtendedPath(deep).c_str(), nullptr));
  }
  ASSERT_TRUE(fixture::WriteBytes(ExtendedPath(deep + L"deep.log"), "far down"));
  narrowUninstall.Text(key, L"HelpLink", L"https://vantorel.example/");
  narrowUninstall.Text(key, L"InstallLocation", deep);
  for (auto* view : {&maker_, &narrowMaker}) {
    view->Text(L"Software\\VANTOREL\\Both", L"ProductLabel", view == &maker_ ? L"Both 64" : L"Both 32");
    view->Text(L"Software\\VANTOREL\\Both", L"InstallFolder", L"");
  }
  narrowMaker.Text(L"Software\\VANTOREL\\Old", L"ProductLabel", L"Old 32");
  narrowMaker.Text(L"Software\\VANTOREL\\Old", L"InstallFolder", L"");

  const std::wstring text = Run();
  EXPECT_TRUE(Has(text, L"<products>\n"
                        L"  <product name=\"\" installedversion=\"\" comments=\"\" installlocation=\"" +
                            XmlEscape(deep) + L"\" guid=\"{DROMIKA-TEST-32}\"/>\n"
                        L"  <product name=\"Both 64\" installedversion=\"\" installlocation=\"\" guid=\"\"/>\n"
                        L"  <product name=\"Old 32\" installedversion=\"\" installlocation=\"\" guid=\"\"/>\n"
                        L"</products>\n"))
      << str::as_u8string(text.substr(0, 3000));
  EXPECT_TRUE(Has(text, L"<file name=\"deep.log\" bytes=\"8\" size=\"8 B\"")) << str::as_u8string(text);
  EXPECT_TRUE(Has(text, L">\nfar down"));
}

TEST_F(HostProducts, NoProductsGiveAnEmptyElement) {
  const std::wstring text = Run();
  EXPECT_TRUE(Has(text, L"<products>\n</products>\n"));
}

}  // namespace
