// The maker's keys in the real registry, in both views, and the products
// they name with their folders on the disk, read back through the registry,
// products and file system blocks. The rules for names, values, versions and
// contents are the unit tests'; here the real registry and file system answer.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/Machine.h"
#include "report/ReportBuilder.h"
#include "report/XmlText.h"
#include "report/blocks/FilesystemBlock.h"
#include "report/blocks/RegistryBlock.h"
#include "runtime/LongPath.h"
#include "runtime/Str.h"
#include "testing/Fixture.h"
#include "testing/TempFolder.h"

namespace {

using sys::file::ExtendedPath;

const std::wstring kMaker = L"Software\\VANTOREL";
const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Deletes the named top key with everything below it before and after the
// test. view is 0 or one of KEY_WOW64_64KEY and KEY_WOW64_32KEY.
class ScratchKey {
 public:
  ScratchKey(HKEY root, std::wstring removeOnExit, REGSAM view = 0)
      : root_(root), remove_(std::move(removeOnExit)), view_(view) {
    Remove();
  }
  ~ScratchKey() { Remove(); }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  // Creates the key and the keys on the way; with a name, sets that value too.
  void Raw(const std::wstring& key, const wchar_t* name = nullptr, DWORD type = 0, const void* data = nullptr,
           DWORD size = 0) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root_, key.c_str(), 0, nullptr, 0, KEY_WRITE | view_, nullptr, &handle, nullptr)) return;
    if (name) RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(handle);
  }
  void Text(const std::wstring& key, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ) {
    Raw(key, name.c_str(), type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

 private:
  // The view applies to a path, so the parent is opened in it and the last name deleted there.
  void Remove() {
    const size_t slash = remove_.rfind(L'\\');
    HKEY parent = nullptr;
    if (RegOpenKeyExW(root_, remove_.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view_, &parent)) return;
    RegDeleteTreeW(parent, remove_.substr(slash + 1).c_str());
    RegCloseKey(parent);
  }

  HKEY root_;
  std::wstring remove_;
  REGSAM view_;
};

// Writes the file, last written at 2024-03-05 09:07:03 UTC; a size past the
// bytes makes it sparse.
bool WriteStamped(const std::wstring& path, const std::string& bytes, LONGLONG size = 0) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const SYSTEMTIME utc{2024, 3, 0, 5, 9, 7, 3, 0};
  FILETIME time{};
  LARGE_INTEGER end;
  end.QuadPart = size;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && SystemTimeToFileTime(&utc, &time);
  if (size > 0) ok = ok && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  ok = ok && SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  return ok;
}

// The part of the block text from the line that opens `first` to the line that closes it.
std::wstring Section(const std::wstring& text, const std::wstring& first, const std::wstring& last) {
  const size_t start = text.find(first);
  const size_t end = text.find(last, start);
  if (start == std::wstring::npos || end == std::wstring::npos) return L"(missing)";
  return text.substr(start, end + last.size() - start);
}

TEST(HostRegistryBlock, WritesTheMakersKeysAsStored) {
  ScratchKey user(HKEY_CURRENT_USER, kMaker), machine(HKEY_LOCAL_MACHINE, kMaker);
  user.Text(kMaker, L"", L"the default value is never written");
  user.Text(kMaker, L"Alpha", L"a & <b>");
  user.Text(kMaker, L"Bravo", L"%TEMP%\\x", REG_EXPAND_SZ);
  const DWORD charlie = 1024;
  user.Raw(kMaker, L"Charlie", REG_DWORD, &charlie, sizeof charlie);
  const BYTE binary[] = {1, 2, 3};
  user.Raw(kMaker, L"Delta", REG_BINARY, binary, sizeof binary);
  const wchar_t multi[] = L"a\0b\0";
  user.Raw(kMaker, L"Echo", REG_MULTI_SZ, multi, sizeof multi);
  user.Raw(kMaker, L"Foxtrot", REG_NONE, binary, sizeof binary);
  user.Raw(kMaker, L"Golf", REG_SZ, nullptr, 0);
  user.Raw(kMaker, L"Hotel", REG_SZ, L"abc", 3 * sizeof(wchar_t));  // no terminating NUL
  user.Raw(kMaker, L"India", REG_DWORD, nullptr, 0);
  user.Text(kMaker, L"Juliet", std::wstring(1500, L'j'));  // larger than the first data buffer
  user.Text(kMaker + L"\\Nested\\Deeper", L"Leaf", L"\u00e9t\u00e9");
  user.Raw(kMaker + L"\\Other");
  user.Text(kMaker, std::wstring(300, L'n'), L"a name longer than the buffer ends the list");
  user.Text(kMaker, L"Zulu", L"never reached");
  machine.Text(kMaker + L"\\Tally", L"Version", L"10.2");
  // What a 32-bit installer wrote: a key both views hold is written once, the 64-bit view's.
  ScratchKey narrow(HKEY_LOCAL_MACHINE, kMaker, KEY_WOW64_32KEY);
  narrow.Text(kMaker + L"\\Tally", L"Version", L"9.0");
  narrow.Text(kMaker + L"\\Legacy", L"Version", L"1.0");

  const std::wstring text = dromika::RegistryBlock(platform::HostMachine()).Produce();
  EXPECT_EQ(str::as_u8string(Section(text, L"  <key name=\"HKCU\">\n", L"\n  </key>\n") +
                             Section(text, L"  <key name=\"HKLM\">\n    <key name=\"Software\">\n", L"</registry>\n")),
            testing::ReadFixture("host/registry_maker_win32.xml"));
}

class HostProducts : public ::testing::Test {
 protected:
  // Past MAX_PATH only the extended form reaches: the deep chain goes first, deepest first.
  void TearDown() override {
    DeleteFileW(ExtendedPath(deep_ + L"deep.log").c_str());
    for (; deep_.size() > folder_.size(); deep_.erase(deep_.rfind(L'\\', deep_.size() - 2) + 1)) {
      RemoveDirectoryW(ExtendedPath(deep_).c_str());
    }
  }

  testing::TempFolder product_, pluginFolder_;
  const std::wstring folder_ = product_.FolderPath(), plugin_ = pluginFolder_.FolderPath();
  std::wstring deep_ = folder_;
  ScratchKey uninstall_{HKEY_LOCAL_MACHINE, kUninstall + L"{DROMIKA-TEST-A}"};
  ScratchKey narrowUninstall_{HKEY_LOCAL_MACHINE, kUninstall + L"{DROMIKA-TEST-32}", KEY_WOW64_32KEY};
  ScratchKey maker_{HKEY_LOCAL_MACHINE, kMaker}, narrowMaker_{HKEY_LOCAL_MACHINE, kMaker, KEY_WOW64_32KEY};
};

// 32-bit installers write into the 32-bit registry view, and a product's
// folders may lie deeper than MAX_PATH: both are found, a key that both views
// hold is listed once (its 64-bit view's values), and the deep file's content
// is read while the document keeps the path as it was given. Which entries
// count and how they are written are the unit tests'.
TEST_F(HostProducts, ListsTheMakersProductsOfBothViewsAndTheirFiles) {
  const std::wstring a = kUninstall + L"{DROMIKA-TEST-A}", narrow = kUninstall + L"{DROMIKA-TEST-32}";
  uninstall_.Text(a, L"HelpLink", L"https://vantorel.example/support");
  uninstall_.Text(a, L"InstallLocation", folder_);
  uninstall_.Text(a, L"DisplayName", L"Tally & Co");
  uninstall_.Text(a, L"DisplayVersion", L"10.2.0.7");
  uninstall_.Text(a, L"Comments", L"<test>");
  while (deep_.size() <= MAX_PATH + 20) {
    deep_ += L"a-folder-name-that-is-long\\";
    ASSERT_TRUE(CreateDirectoryW(ExtendedPath(deep_).c_str(), nullptr));
  }
  narrowUninstall_.Text(narrow, L"HelpLink", L"https://vantorel.example/");
  narrowUninstall_.Text(narrow, L"InstallLocation", deep_);
  for (auto* view : {&maker_, &narrowMaker_}) {
    view->Text(kMaker + L"\\Both", L"ProductLabel", view == &maker_ ? L"Both 64" : L"Both 32");
    view->Text(kMaker + L"\\Both", L"InstallFolder", view == &maker_ ? plugin_ : L"");
  }
  narrowMaker_.Text(kMaker + L"\\Old", L"ProductLabel", L"Old 32");
  narrowMaker_.Text(kMaker + L"\\Old", L"InstallFolder", L"");
  ASSERT_TRUE(WriteStamped(ExtendedPath(deep_ + L"deep.log"), "far down"));
  ASSERT_TRUE(WriteStamped(plugin_ + L"plugin.txt", "plug"));
  ASSERT_TRUE(WriteStamped(folder_ + L"big.log", "H" + std::string(599998, 'b') + "T"));
  ASSERT_TRUE(WriteStamped(folder_ + L"huge.bin", "", 5ll << 30));

  ReportBuilder builder(0x20 | 0x80, false);
  builder.Reset();
  builder.RunAll([](const std::wstring&) {});
  const std::wstring text = str::as_wstring(builder.BlockText()), at = L" datemodified=\"05/03/2024 9:07:03\"";
  for (const std::wstring& piece : {
           L"<products>\n  <product name=\"Tally &amp; Co\" installedversion=\"10.2.0.7\" comments=\"&lt;test&gt;\""
           L" installlocation=\"" + XmlEscape(folder_) + L"\" guid=\"{DROMIKA-TEST-A}\"/>\n"
           L"  <product name=\"\" installedversion=\"\" comments=\"\" installlocation=\"" + XmlEscape(deep_) +
               L"\" guid=\"{DROMIKA-TEST-32}\"/>\n"
           L"  <product name=\"Both 64\" installedversion=\"\" installlocation=\"" + XmlEscape(plugin_) +
               L"\" guid=\"\"/>\n"
           L"  <product name=\"Old 32\" installedversion=\"\" installlocation=\"\" guid=\"\"/>\n</products>\n",
           std::wstring(L"<file name=\"huge.bin\" bytes=\"5368709120\" size=\"5 GB\""),
           L"<file name=\"plugin.txt\" bytes=\"4\" size=\"4 B\"" + at + L">\nplug",
           L"<file name=\"deep.log\" bytes=\"8\" size=\"8 B\"" + at + L">\nfar down",
           L"<file name=\"big.log\" bytes=\"600000\" size=\"586 KB\"" + at + L">\nH" + std::wstring(255999, L'b') +
               dromika::kContentNotice + std::wstring(255999, L'b') + L"T"}) {
    EXPECT_NE(text.find(piece), std::wstring::npos) << str::as_u8string(piece.substr(0, 300)) << "\nin:\n"
                                                   << str::as_u8string(text.substr(0, 5000));
  }
}

}  // namespace
