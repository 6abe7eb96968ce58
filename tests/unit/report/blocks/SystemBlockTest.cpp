#include <gtest/gtest.h>

#include "report/blocks/SystemBlock.h"
#include "runtime/Str.h"
#include "testing/MemoryMachine.h"

namespace {

using platform::RegistryRoot;
using dromika::SystemBlock;

const wchar_t kFramework[] = L"C:\\Windows\\Microsoft.Net\\Framework\\";

class SystemBlockTest : public ::testing::Test {
 protected:
  SystemBlockTest() {
    machine.environment.Set(L"SystemRoot", L"C:\\Windows");
    FillLocale();
    FillWmi();
    machine.system.time = {L"14:05:09", L"07/03/2024", L"W. Europe Standard Time"};
    machine.system.processors = {8, 8664, 9, 6, 40458};
  }

  void FillLocale() {
    machine.locale.userLcid = 1033;
    machine.locale.Set(1033, platform::kLocaleSEngLanguage, L"English");
    machine.locale.Set(1033, platform::kLocaleSEngCountry, L"United States");
    machine.locale.Set(1031, platform::kLocaleSEngLanguage, L"German");
    machine.locale.Set(1031, platform::kLocaleSEngCountry, L"Germany");
    machine.locale.Set(1033, platform::kLocaleSList, L",");
    machine.locale.Set(1033, platform::kLocaleSDecimal, L".");
    machine.locale.Set(1033, platform::kLocaleSThousand, L",");
  }

  void FillWmi() {
    auto& wmi = machine.management;
    wmi.AddRow(L"Win32_OperatingSystem",
               {{L"Caption", L"Microsoft Windows 10 Pro"}, {L"OSLanguage", L"1033"}, {L"Locale", L"0407"},
                {L"CSName", L"DESK-1"}, {L"Organization", L"Acme & Co"}, {L"RegisteredUser", L"Ana"},
                {L"SerialNumber", L"00330-80000"}, {L"Description", L""}, {L"BuildNumber", L"19045"}});
    wmi.AddRow(L"Win32_Processor",
               {{L"Name", L"Intel(R) Core(TM) i7"}, {L"SystemName", L"DESK-1"}, {L"NumberOfCores", L"4"}});
    wmi.AddRow(L"Win32_ComputerSystem",
               {{L"Name", L"DESK-1"}, {L"UserName", L"DESK-1\\ana"}, {L"Domain", L"WORKGROUP"}, {L"Model", L"XPS 15"},
                {L"Manufacturer", L"Dell Inc."}, {L"Caption", L"DESK-1"}, {L"DNSHostName", L"desk-1"},
                {L"PrimaryOwnerName", L"Ana"}, {L"Workgroup", L"WORKGROUP"}});
  }

  std::wstring Produce(BlockMask mask, bool exclude = false) {
    SystemBlock block(machine.machine(), exclude, mask);
    return block.Produce();
  }

  // The section's lines between the block's own first and last line.
  static std::wstring Inner(const std::wstring& text) {
    const std::wstring open = L"<system>\r\n", close = L"</system>\r\n";
    if (text.compare(0, open.size(), open) != 0 || text.size() < open.size() + close.size() ||
        text.compare(text.size() - close.size(), close.size(), close) != 0) {
      return L"<not a system element>";
    }
    return text.substr(open.size(), text.size() - open.size() - close.size());
  }

  platform::MemoryMachine machine;
};

TEST_F(SystemBlockTest, WmiSectionAloneWithDerivedLocaleEntriesInNameOrder) {
  EXPECT_EQ(Produce(SystemBlock::kWmi),
            L"<system>\r\n"
            L"  <wmi>\r\n"
            L"    <Win32_OperatingSystem BuildNumber=\"19045\" CSName=\"DESK-1\" Caption=\"Microsoft Windows 10 Pro\" "
            L"Description=\"\" Locale=\"0407\" LocaleCountry=\"Germany\" LocaleLanguage=\"German\" OSLanguage=\"1033\" "
            L"OSLanguageCountry=\"United States\" OSLanguageLanguage=\"English\" Organization=\"Acme &amp; Co\" "
            L"RegisteredUser=\"Ana\" SerialNumber=\"00330-80000\"/>\r\n"
            L"    <Win32_Processor Name=\"Intel(R) Core(TM) i7\" NumberOfCores=\"4\" SystemName=\"DESK-1\"/>\r\n"
            L"    <Win32_ComputerSystem Caption=\"DESK-1\" DNSHostName=\"desk-1\" Domain=\"WORKGROUP\" "
            L"Manufacturer=\"Dell Inc.\" Model=\"XPS 15\" Name=\"DESK-1\" PrimaryOwnerName=\"Ana\" "
            L"UserName=\"DESK-1\\ana\" Workgroup=\"WORKGROUP\"/>\r\n"
            L"  </wmi>\r\n"
            L"</system>\r\n");
  EXPECT_EQ(machine.management.openSessions, 0);  // the section closes its connection
}

TEST_F(SystemBlockTest, WmiSectionExcludesPersonalProperties) {
  EXPECT_EQ(Inner(Produce(SystemBlock::kWmi, true)),
            L"  <wmi>\r\n"
            L"    <Win32_OperatingSystem BuildNumber=\"19045\" Caption=\"Microsoft Windows 10 Pro\" Locale=\"0407\" "
            L"LocaleCountry=\"Germany\" LocaleLanguage=\"German\" OSLanguage=\"1033\" "
            L"OSLanguageCountry=\"United States\" OSLanguageLanguage=\"English\"/>\r\n"
            L"    <Win32_Processor Name=\"Intel(R) Core(TM) i7\" NumberOfCores=\"4\"/>\r\n"
            L"    <Win32_ComputerSystem Manufacturer=\"Dell Inc.\" Model=\"XPS 15\"/>\r\n"
            L"  </wmi>\r\n");
}

TEST_F(SystemBlockTest, UnreachableWmiLeavesThreeBareLines) {
  machine.management.FailConnect(L"Failed to connect to WMI server");
  EXPECT_EQ(Produce(SystemBlock::kWmi), L"<system>\r\n  <wmi>\r\n\r\n\r\n\r\n  </wmi>\r\n</system>\r\n");
}

class DerivedLocaleEntries : public SystemBlockTest {
 protected:
  std::wstring OperatingSystemLine(platform::PropertyList row) {
    platform::MemoryMachine other;
    other.locale.userLcid = machine.locale.userLcid;
    for (uint32_t lcid : {1033u, 1031u}) {
      for (uint32_t item : {platform::kLocaleSEngLanguage, platform::kLocaleSEngCountry}) {
        if (auto text = machine.locale.Info(lcid, item)) other.locale.Set(lcid, item, *text);
      }
    }
    other.management.AddRow(L"Win32_OperatingSystem", std::move(row));
    SystemBlock block(other.machine(), false, SystemBlock::kWmi);
    const std::wstring text = block.Produce();
    const size_t start = text.find(L"<Win32_OperatingSystem");
    return start == std::wstring::npos ? L"" : text.substr(start, text.find(L"\r\n", start) - start);
  }
};

TEST_F(DerivedLocaleEntries, OnlyForPropertiesThatArePresent) {
  EXPECT_EQ(OperatingSystemLine({{L"Caption", L"X"}}), L"<Win32_OperatingSystem Caption=\"X\"/>");
  EXPECT_EQ(OperatingSystemLine({{L"Locale", L"0409"}}),
            L"<Win32_OperatingSystem Locale=\"0409\" LocaleCountry=\"United States\" LocaleLanguage=\"English\"/>");
}

TEST_F(DerivedLocaleEntries, NonNumericLanguageGainsNothing) {
  EXPECT_EQ(OperatingSystemLine({{L"OSLanguage", L"en-US"}}), L"<Win32_OperatingSystem OSLanguage=\"en-US\"/>");
  EXPECT_EQ(OperatingSystemLine({{L"OSLanguage", L""}}), L"<Win32_OperatingSystem OSLanguage=\"\"/>");
}

TEST_F(DerivedLocaleEntries, LowSixteenBitsFailedLookupsAndPresentEntries) {
  EXPECT_EQ(OperatingSystemLine({{L"OSLanguage", L"66569"}}),  // 0x10409
            L"<Win32_OperatingSystem OSLanguage=\"66569\" OSLanguageCountry=\"United States\" "
            L"OSLanguageLanguage=\"English\"/>");
  EXPECT_EQ(OperatingSystemLine({{L"OSLanguage", L"1234"}, {L"Locale", L"zz"}}),
            L"<Win32_OperatingSystem Locale=\"zz\" LocaleCountry=\"\" LocaleLanguage=\"\" OSLanguage=\"1234\" "
            L"OSLanguageCountry=\"\" OSLanguageLanguage=\"\"/>");
  EXPECT_EQ(OperatingSystemLine({{L"OSLanguage", L"1031"}, {L"OSLanguageLanguage", L"preset"}}),
            L"<Win32_OperatingSystem OSLanguage=\"1031\" OSLanguageCountry=\"Germany\" "
            L"OSLanguageLanguage=\"preset\"/>");
}

TEST_F(SystemBlockTest, WindowsInstallerSectionAlone) {
  machine.program.versions[L"C:\\Windows\\system32\\msi.dll"] = L"5.0.19041.1";
  EXPECT_EQ(Produce(SystemBlock::kWindowsInstaller),
            L"<system>\r\n  <windowsinstaller version=\"5.0.19041.1\"/>\r\n</system>\r\n");
  machine.program.versions.clear();
  EXPECT_EQ(Produce(SystemBlock::kWindowsInstaller), L"<system>\r\n</system>\r\n");
}

TEST_F(SystemBlockTest, DotNetSectionWithEachVersionFallback) {
  const std::wstring framework = kFramework;
  machine.files.AddFolder(framework + L"v1.0.3705");
  machine.files.AddFile(framework + L"v2.0.50727\\Mscorlib.dll", "MZ");
  machine.program.versions[framework + L"v2.0.50727\\Mscorlib.dll"] = L"2.0.50727.9149";
  machine.files.AddFolder(framework + L"v3.0");
  machine.program.versions[framework + L"v3.0\\Windows Communication Foundation\\System.ServiceModel.dll"] =
      L"3.0.4506.8789";
  machine.files.AddFolder(framework + L"v3.5");
  machine.program.versions[framework + L"v3.5\\Windows Presentation Foundation\\NPWPF.dll"] = L"3.5.30729.9141";
  machine.files.AddFolder(framework + L"vNext");
  machine.files.AddFolder(framework + L"Upgrade");
  machine.files.AddFolder(framework + L"V4.0.30319");  // the pattern ignores case on Windows
  machine.files.AddFile(framework + L"v9&x.txt", "");  // files match the pattern too
  EXPECT_EQ(Produce(SystemBlock::kDotNet),
            L"<system>\r\n"
            L"  <dotnet>\r\n"
            L"    <instance version=\"1.0.3705\" description=\"Microsoft .NET Framework 1.0.3705\"/>\r\n"
            L"    <instance version=\"2.0.50727.9149\" description=\"Microsoft .NET Framework 2.0.50727.9149\"/>\r\n"
            L"    <instance version=\"3.0.4506.8789\" description=\"Microsoft .NET Framework 3.0.4506.8789\"/>\r\n"
            L"    <instance version=\"3.5.30729.9141\" description=\"Microsoft .NET Framework 3.5.30729.9141\"/>\r\n"
            L"    <instance version=\"4.0.30319\" description=\"Microsoft .NET Framework 4.0.30319\"/>\r\n"
            L"    <instance version=\"9&amp;x.txt\" description=\"Microsoft .NET Framework 9&amp;x.txt\"/>\r\n"
            L"  </dotnet>\r\n"
            L"</system>\r\n");
}

TEST_F(SystemBlockTest, DotNetSectionWithoutFrameworkFolderIsEmpty) {
  EXPECT_EQ(Produce(SystemBlock::kDotNet), L"<system>\r\n  <dotnet>\r\n  </dotnet>\r\n</system>\r\n");
}

TEST_F(SystemBlockTest, MonitorsSectionAlone) {
  machine.monitors.monitors = {{1920, 1080, L"Dell U2720Q", L"NVIDIA GeForce <RTX>", true},
                               {1280, 1024, L"Generic PnP Monitor", L"", false}};
  EXPECT_EQ(Produce(SystemBlock::kMonitors),
            L"<system>\r\n"
            L"  <monitors>\r\n"
            L"    <monitor width=\"1920\" height=\"1080\" monitordesc=\"Dell U2720Q\" "
            L"graphicscarddesc=\"NVIDIA GeForce &lt;RTX&gt;\" primary=\"yes\"/>\r\n"
            L"    <monitor width=\"1280\" height=\"1024\" monitordesc=\"Generic PnP Monitor\" graphicscarddesc=\"\" "
            L"primary=\"no\"/>\r\n"
            L"  </monitors>\r\n"
            L"</system>\r\n");
  machine.monitors.monitors.clear();
  EXPECT_EQ(Inner(Produce(SystemBlock::kMonitors)), L"  <monitors>\r\n  </monitors>\r\n");
}

TEST_F(SystemBlockTest, LocaleSectionAlone) {
  EXPECT_EQ(Produce(SystemBlock::kLocale),
            L"<system>\r\n"
            L"  <locale>\r\n"
            L"    <user_locale LCID=\"1033\" LOCALE_SENGLANGUAGE=\"English\" LOCALE_SENGCOUNTRY=\"United States\" "
            L"decimalsep=\".\" thousandssep=\",\" listsep=\",\"/>\r\n"
            L"  </locale>\r\n"
            L"</system>\r\n");
}

TEST_F(SystemBlockTest, LocaleLineLeavesOutFailedNamesAndEmptiesUnreadableSeparators) {
  machine.locale.userLcid = 1031;  // names known, separators not
  machine.locale.Set(1031, platform::kLocaleSThousand, L"\u00a0");
  machine.locale.Set(1031, platform::kLocaleSList, L"four");  // more than a four-character buffer holds
  EXPECT_EQ(Inner(Produce(SystemBlock::kLocale)),
            L"  <locale>\r\n"
            L"    <user_locale LCID=\"1031\" LOCALE_SENGLANGUAGE=\"German\" LOCALE_SENGCOUNTRY=\"Germany\" "
            L"decimalsep=\"\" thousandssep=\"&#160;\" listsep=\"\"/>\r\n"
            L"  </locale>\r\n");
  machine.locale.userLcid = 0;
  EXPECT_EQ(Inner(Produce(SystemBlock::kLocale)),
            L"  <locale>\r\n    <user_locale LCID=\"0\" decimalsep=\"\" thousandssep=\"\" listsep=\"\"/>\r\n"
            L"  </locale>\r\n");
}

class MiscellaneousSection : public SystemBlockTest {
 protected:
  MiscellaneousSection() {
    machine.registry.SetString(RegistryRoot::kLocalMachine, L"Software\\Microsoft\\Internet Explorer", L"Version",
                               L"9.11.19041.0");
    machine.environment.AddRawEntry(L"=C:=C:\\Windows");
    machine.environment.Set(L"Path", L"C:\\mixed");
    machine.environment.Set(L"PATH", L"C:\\Windows;C:\\A&B");
    machine.environment.Set(L"TMP", L"C:\\Temp\\x=y");
    machine.environment.Set(L"TEMP", L"");
    machine.environment.Set(L"OTHER", L"1");
    machine.system.memory = {1607467008, 1607467008, 4194304};  // 1533 MiB, then 4 MiB
  }
};

TEST_F(MiscellaneousSection, Alone) {
  EXPECT_EQ(Produce(SystemBlock::kMiscellaneous),
            L"<system>\r\n"
            L"  <ie version=\"9.11.19041.0\"/>\r\n"
            L"  <environment>\r\n"
            L"    <var name=\"PATH\" value=\"C:\\Windows;C:\\A&amp;B\"/>\r\n"
            L"    <var name=\"TMP\" value=\"C:\\Temp\\x=y\"/>\r\n"
            L"    <var name=\"TEMP\" value=\"\"/>\r\n"
            L"  </environment>\r\n"
            L"  <time time=\"14:05:09\" date=\"07/03/2024\" tz=\"W. Europe Standard Time\"/>\r\n"
            L"  <processors count=\"8\" type=\"8664\" architecture=\"9\" level=\"6\" revision=\"40458\"/>\r\n"
            L"  <memory rambytes=\"1607467008\" ram=\"2 GB\" pagesizebytes=\"1607467008\" pagesize=\"1 GB\" "
            L"pageavailbytes=\"4194304\" pageavail=\"4 MB\"/>\r\n"
            L"</system>\r\n");
}

TEST_F(MiscellaneousSection, ExcludingPersonalDataDropsOnlyTheEnvironment) {
  const std::wstring text = Produce(SystemBlock::kMiscellaneous, true);
  EXPECT_EQ(text.find(L"<environment>"), std::wstring::npos);
  EXPECT_EQ(text.find(L"<var "), std::wstring::npos);
  EXPECT_NE(text.find(L"  <ie version=\"9.11.19041.0\"/>\r\n  <time time="), std::wstring::npos);
  EXPECT_NE(text.find(L"<processors "), std::wstring::npos);
  EXPECT_NE(text.find(L"<memory "), std::wstring::npos);
}

TEST_F(MiscellaneousSection, InternetExplorerVersionDegrades) {
  const wchar_t key[] = L"Software\\Microsoft\\Internet Explorer";
  machine.registry.SetString(RegistryRoot::kLocalMachine, key, L"Version", L"");
  EXPECT_NE(Produce(SystemBlock::kMiscellaneous).find(L"  <ie version=\"\"/>\r\n"), std::wstring::npos);
  machine.registry.SetDword(RegistryRoot::kLocalMachine, key, L"Version", 11);
  EXPECT_NE(Produce(SystemBlock::kMiscellaneous).find(L"  <ie version=\"less than 4\"/>\r\n"), std::wstring::npos);
  platform::MemoryMachine bare;
  SystemBlock block(bare.machine(), false, SystemBlock::kMiscellaneous);
  EXPECT_NE(block.Produce().find(L"  <ie version=\"less than 4\"/>\r\n"), std::wstring::npos);
}

TEST_F(MiscellaneousSection, EnvironmentEdgeCases) {
  platform::MemoryMachine other;
  other.environment.AddRawEntry(L"TMP");  // no "=" at all
  other.environment.AddRawEntry(L"=TEMP=C:\\hidden");
  other.environment.AddRawEntry(L"");
  other.environment.AddRawEntry(L"TEMP==lead");
  SystemBlock block(other.machine(), false, SystemBlock::kMiscellaneous);
  const std::wstring text = block.Produce();
  EXPECT_NE(text.find(L"  <environment>\r\n    <var name=\"TMP\" value=\"\"/>\r\n"
                      L"    <var name=\"TEMP\" value=\"=lead\"/>\r\n  </environment>\r\n"),
            std::wstring::npos)
      << str::as_u8string(text);
  other.environment.SetMissing(true);
  EXPECT_NE(block.Produce().find(L"  <environment>\r\n  </environment>\r\n"), std::wstring::npos);
}

TEST_F(SystemBlockTest, EverySectionInOrderAndOnlyItsOwnBit) {
  machine.program.versions[L"C:\\Windows\\system32\\msi.dll"] = L"5.0";
  const struct {
    BlockMask bit;
    const wchar_t* first;
  } sections[] = {
      {SystemBlock::kWmi, L"  <wmi>\r\n"},
      {SystemBlock::kWindowsInstaller, L"  <windowsinstaller "},
      {SystemBlock::kDotNet, L"  <dotnet>\r\n"},
      {SystemBlock::kMonitors, L"  <monitors>\r\n"},
      {SystemBlock::kLocale, L"  <locale>\r\n"},
      {SystemBlock::kMiscellaneous, L"  <ie "},
  };
  std::wstring all;
  for (const auto& section : sections) {
    const std::wstring inner = Inner(Produce(section.bit | 0x800 | 0x2));  // other blocks' bits change nothing
    EXPECT_EQ(inner.find(section.first), 0u) << section.bit;
    for (const auto& other : sections) {
      if (other.bit != section.bit) {
        EXPECT_EQ(inner.find(other.first), std::wstring::npos) << section.bit;
      }
    }
    all += inner;
  }
  EXPECT_EQ(Produce(SystemBlock::kAllSections), L"<system>\r\n" + all + L"</system>\r\n");
  EXPECT_EQ(Produce(SystemBlock::kAllSections), Produce(SystemBlock::kAllSections));
}

TEST_F(SystemBlockTest, ProgressText) {
  SystemBlock block(machine.machine(), false, SystemBlock::kWmi);
  EXPECT_EQ(block.ProgressText(), L"Scanning system configuration...");
}

}  // namespace
