#include <gtest/gtest.h>

#include "RegistryFixture_win32.h"
#include "platform/Machine.h"
#include "platform/Program.h"
#include "report/ReportBuilder.h"
#include "report/XmlText.h"
#include "report/blocks/FilesystemBlock.h"
#include "runtime/Banner.h"
#include "runtime/Str.h"

namespace {

const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring TempFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId()) + L"\\";
}

void RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW data{};
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolder(folder + name + L"\\");
      } else {
        DeleteFileW((folder + name).c_str());
      }
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
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
    while (builder.RunCurrent()) {
    }
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

TEST_F(HostProducts, NoProductsGiveAnEmptyElement) {
  const std::wstring text = Run();
  EXPECT_TRUE(Has(text, L"<products>\n</products>\n"));
}

}  // namespace
