#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <regex>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Monitors.h"
#include "platform/Program.h"
#include "report/SystemReaders.h"
#include "report/XmlText.h"
#include "report/blocks/SystemBlock.h"
#include "runtime/Banner.h"
#include "runtime/Str.h"
#include "testing/MemoryMachine.h"

namespace fs = std::filesystem;

namespace {

using dromika::SystemBlock;

std::wstring Produce(const platform::Machine& machine, BlockMask mask, bool exclude = false) {
  SystemBlock block(machine, exclude, mask);
  return block.Produce();
}

TEST(SystemBlockOnHost, WmiSectionHasARowOfEachClass) {
  const std::wstring text = Produce(platform::HostMachine(), SystemBlock::kWmi);
  for (const wchar_t* element :
       {L"    <Win32_OperatingSystem ", L"    <Win32_Processor ", L"    <Win32_ComputerSystem "}) {
    EXPECT_NE(text.find(element), std::wstring::npos) << str::as_u8string(element);
  }
  // Both derived entries follow the LCID the operating system names.
  EXPECT_NE(text.find(L"OSLanguageLanguage=\""), std::wstring::npos);
}

TEST(SystemBlockOnHost, MonitorLines) {
  const std::wstring text = Produce(platform::HostMachine(), SystemBlock::kMonitors);
  const std::wregex line(L"    <monitor width=\"[0-9]+\" height=\"[0-9]+\" monitordesc=\"[^\"]*\" "
                         L"graphicscarddesc=\"[^\"]*\" primary=\"(yes|no)\"/>\r\n");
  const size_t count = platform::HostMonitors().List().size();
  size_t lines = 0, primary = 0;
  for (std::wsregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
    ++lines;
    if ((*it)[1] == L"yes") ++primary;
  }
  EXPECT_EQ(lines, count);
  EXPECT_EQ(primary, count ? 1u : 0u);
  // Windows always has a display; wine gives one of 1024x768.
  if (platform::HostFileSystem().Separator() == L'\\') {
    EXPECT_GE(count, 1u);
  }
}

TEST(SystemBlockOnHost, LocaleLine) {
  auto& locale = platform::HostLocale();
  const uint32_t lcid = locale.UserDefaultLcid();
  std::wstring expected = L"  <locale>\r\n    <user_locale LCID=\"" + std::to_wstring(lcid) + L"\"";
  if (auto language = locale.Info(lcid, platform::kLocaleSEngLanguage)) {
    expected += L" LOCALE_SENGLANGUAGE=\"" + XmlEscape(*language) + L"\"";
  }
  if (auto country = locale.Info(lcid, platform::kLocaleSEngCountry)) {
    expected += L" LOCALE_SENGCOUNTRY=\"" + XmlEscape(*country) + L"\"";
  }
  const std::wstring text = Produce(platform::HostMachine(), SystemBlock::kLocale);
  EXPECT_EQ(text.find(expected + L" decimalsep=\""), 10u) << str::as_u8string(text);
}

// Framework folders made by the test under %SystemRoot% (Linux, which has
// none, gets a temporary one), holding copies of this test program, which
// carries the build's file version.
class DotNetOnHost : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = platform::HostMachine();
    std::wstring root = GetEnvVar(platform::HostEnvironment(), L"SystemRoot");
    if (root.empty()) {
      root = (fs::temp_directory_path() / ("dromika-dotnet-" + std::to_string(std::random_device()()))).wstring();
      environment_.Set(L"SystemRoot", root);
      machine_.environment = &environment_;
      cleanup_.push_back(root);
    }
    framework_ = fs::path(root) / "Microsoft.Net" / "Framework";
    if (!fs::exists(framework_.parent_path())) cleanup_.push_back(framework_.parent_path());
    program_ = fs::path(platform::HostProgram().ModulePath());
  }

  void TearDown() override {
    std::error_code ignored;
    for (const auto& folder : made_) fs::remove_all(folder, ignored);
    for (const auto& folder : cleanup_) fs::remove_all(folder, ignored);
  }

  void Make(const std::string& version, const std::string& file) {
    const fs::path folder = framework_ / version;
    made_.push_back(folder);
    fs::create_directories(folder);
    if (file.empty()) return;
    fs::create_directories((folder / file).parent_path());
    fs::copy_file(program_, folder / file, fs::copy_options::overwrite_existing);
  }

  platform::Machine machine_;
  platform::MemoryEnvironment environment_;
  fs::path framework_, program_;
  std::vector<fs::path> made_, cleanup_;
};

TEST_F(DotNetOnHost, InstanceLinesWithTheVersionFallbacks) {
  Make("v2.0.61111", "Mscorlib.dll");
  Make("v3.0.61111", "Windows Communication Foundation/System.ServiceModel.dll");
  Make("v3.5.61111", "Windows Presentation Foundation/NPWPF.dll");
  Make("v4.0.61111", "");
  Make("vNext61111", "Mscorlib.dll");
  const std::wstring text = Produce(machine_, SystemBlock::kDotNet);
  const std::wstring build = str::as_wstring(version::BuildVersion());
  auto line = [](const std::wstring& version) {
    return L"    <instance version=\"" + version + L"\" description=\"Microsoft .NET Framework " + version +
           L"\"/>\r\n";
  };
  size_t builds = 0;
  for (size_t at = text.find(line(build)); at != std::wstring::npos; at = text.find(line(build), at + 1)) ++builds;
  EXPECT_EQ(builds, 3u) << str::as_u8string(text);
  EXPECT_NE(text.find(line(L"4.0.61111")), std::wstring::npos) << str::as_u8string(text);
  EXPECT_EQ(text.find(L"Next61111"), std::wstring::npos);
}

}  // namespace
