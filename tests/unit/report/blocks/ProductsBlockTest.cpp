#include <gtest/gtest.h>

#include <array>

#include "report/ReportBuilder.h"
#include "testing/MemoryMachine.h"
#include "unit/report/ReportFixture.h"

namespace {

// Uninstall entries count when their help link names the maker (case
// matters) and they have a location; the maker's key is walked depth first,
// taking the first location value present. Each location's folder, with a
// separator added where it has none, is then listed by the file system block.
TEST(ProductsBlock, ProductsAndTheFoldersTheyNote) {
  platform::MemoryMachine machine;
  const std::wstring uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const std::wstring maker = L"Software\\VANTOREL\\";
  auto set = [&](const std::wstring& key, const std::wstring& name, const std::wstring& text) {
    machine.registry.SetString(platform::RegistryRoot::kLocalMachine, key, name, text);
  };
  for (const auto& [guid, link, location] : std::vector<std::array<std::wstring, 3>>{
           {L"{A1}", L"https://vantorel.example/help", L"C:\\Apps\\Tally\\"},
           {L"{B2}", L"https://VANTOREL.example/help", L"C:\\Apps\\Shouting\\"},
           {L"{C3}", L"https://vantorel.example/help", L""}, {L"{D4}", L"https://other.example/", L"C:\\Apps\\Other\\"},
           {L"{F6}", L"vantorel", L"C:\\Program Files\\Tally"}, {L"{G7}", L"vantorel", L"C:\\Closed\\"}}) {
    for (const auto& [name, text] : std::map<std::wstring, std::wstring>{
             {L"HelpLink", link}, {L"InstallLocation", location}, {L"DisplayName", L"Tally " + guid},
             {L"DisplayVersion", L"10.2"}, {L"Comments", L"R&D build"}}) {
      set(uninstall + guid, name, text);
    }
  }
  set(uninstall + L"{E5}", L"InstallLocation", L"C:\\Apps\\NoLink\\");
  set(maker + L"Tally", L"InstallLocation", L"C:\\Apps\\Tally\\");  // listed from both places
  set(maker + L"Tally", L"ProductLabel", L"Tally <Pro>");
  set(maker + L"Tally", L"ProductCode", L"{T}");
  set(maker + L"Tally", L"Version", L"3.1");
  machine.registry.SetString(platform::RegistryRoot::kLocalMachine, maker + L"Tally\\Plugin", L"InstallFolder",
                             L"C:\\V\\Plugin\\", platform::kRegExpandSz);
  set(maker + L"Tally\\Plugin", L"ProductLabel", L"Plugin");
  set(maker + L"Shell", L"ShellExInstallLocation", L"C:\\V\\Shell\\");
  set(maker + L"Blank", L"InstallLocation", L"");
  set(maker + L"Blank", L"InstallFolder", L"C:\\V\\NeverRead\\");
  machine.registry.SetDword(platform::RegistryRoot::kLocalMachine, maker + L"Numeric", L"InstallLocation", 7);
  set(maker + L"Numeric\\Below", L"InstallLocation", L"C:\\V\\Below\\");
  set(maker + L"Closed\\Inner", L"InstallLocation", L"C:\\Inner\\");
  for (const std::wstring& key : {uninstall + L"{G7}", maker + L"Closed"}) {
    machine.registry.DenyAccess(platform::RegistryRoot::kLocalMachine, key);
  }
  machine.files.SetDriversFolder(L"C:\\Windows\\system32\\drivers\\");
  for (const wchar_t* path : {L"C:\\Windows\\system32\\drivers\\a.sys", L"C:\\Apps\\Tally\\bin\\tally.exe",
                              L"C:\\Program Files\\Tally\\tally.exe", L"C:\\Program Files\\Unrelated\\big.log",
                              L"C:\\V\\Plugin\\p.dll", L"C:\\V\\NeverRead\\n.txt"}) {
    machine.files.AddFile(path, "MZ");
  }
  ReportBuilder builder(blockbits::kProducts | blockbits::kFilesystem, false, machine.machine());
  builder.Reset();
  builder.RunAll([](const std::wstring&) {});
  ExpectFixture(builder.BlockText(), "products.xml");
}

}  // namespace
