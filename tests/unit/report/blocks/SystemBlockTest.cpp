#include <gtest/gtest.h>

#include "report/ReportBuilder.h"
#include "report/blocks/SystemBlock.h"
#include "testing/MemoryMachine.h"
#include "unit/report/ReportFixture.h"

namespace {

using dromika::SystemBlock;
using platform::RegistryRoot;

const std::wstring kFramework = L"C:\\Windows\\Microsoft.Net\\Framework\\";

void SetLocaleNames(platform::MemoryLocale& locale) {
  locale.Set(1033, platform::kLocaleSEngLanguage, L"English");
  locale.Set(1033, platform::kLocaleSEngCountry, L"United States");
  locale.Set(1031, platform::kLocaleSEngLanguage, L"German");
  locale.Set(1031, platform::kLocaleSEngCountry, L"Germany");
}

std::wstring Produce(platform::MemoryMachine& machine, BlockMask mask, bool exclude = false) {
  return SystemBlock(machine.machine(), exclude, mask).Produce();
}

// A machine with something for every section to show.
class SystemBlockTest : public ::testing::Test {
 protected:
  SystemBlockTest() {
    machine.locale.userLcid = 1033;
    SetLocaleNames(machine.locale);
    for (uint32_t item : {platform::kLocaleSList, platform::kLocaleSThousand}) machine.locale.Set(1033, item, L",");
    machine.locale.Set(1033, platform::kLocaleSDecimal, L".");
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
    // .NET: each place a version is read from, else the folder's name; entries the "v<digit>" pattern leaves out.
    for (const wchar_t* folder : {L"v1.0.3705", L"v2.0.50727", L"v3.0", L"v3.5", L"vNext", L"Upgrade", L"V4.0.30319"}) {
      machine.files.AddFolder(kFramework + folder);
    }
    machine.files.AddFile(kFramework + L"v2.0.50727\\Mscorlib.dll", "MZ");
    machine.files.AddFile(kFramework + L"v9&x.txt", "");
    auto& versions = machine.program.versions;
    versions[L"C:\\Windows\\system32\\msi.dll"] = L"5.0.19041.1";
    versions[kFramework + L"v2.0.50727\\Mscorlib.dll"] = L"2.0.50727.9149";
    versions[kFramework + L"v3.0\\Windows Communication Foundation\\System.ServiceModel.dll"] = L"3.0.4506.8789";
    versions[kFramework + L"v3.5\\Windows Presentation Foundation\\NPWPF.dll"] = L"3.5.30729.9141";
    machine.monitors.monitors = {{1920, 1080, L"Dell U2720Q", L"NVIDIA GeForce <RTX>", true},
                                 {1280, 1024, L"Generic PnP Monitor", L"", false}};
    machine.registry.SetString(RegistryRoot::kLocalMachine, L"Software\\Microsoft\\Internet Explorer", L"Version",
                               L"9.11.19041.0");
    // Only PATH, TMP and TEMP are listed, split at their first "=".
    for (const wchar_t* entry : {L"SystemRoot=C:\\Windows", L"=C:=C:\\Windows", L"Path=C:\\mixed",
                                 L"PATH=C:\\Windows;C:\\A&B", L"TMP=C:\\Temp\\x=y", L"TEMP=", L"OTHER=1", L"TMP",
                                 L"=TEMP=C:\\hidden", L"", L"TEMP==lead"}) {
      machine.environment.AddRawEntry(entry);
    }
    machine.system.time = {L"14:05:09", L"07/03/2024", L"W. Europe Standard Time"};
    machine.system.processors = {8, 8664, 9, 6, 40458};
    machine.system.memory = {1607467008, 1607467008, 4194304};  // RAM rounds to a step of 8 MiB, the rest does not
  }

  platform::MemoryMachine machine;
};

TEST_F(SystemBlockTest, EverySection) {
  ExpectFixture(Produce(machine, SystemBlock::kAllSections), "system.xml");
  EXPECT_EQ(machine.management.openSessions, 0);  // the WMI section closes its connection
}

// Names, owners and the environment are left out. The table hands the flag
// to this block only: the process list keeps its names.
TEST_F(SystemBlockTest, ExcludingPersonalData) {
  machine.management.AddRow(L"Win32_Process", {{L"Name", L"x"}, {L"CSName", L"DESK-1"}});
  ReportBuilder builder(blockbits::kProcesses | SystemBlock::kAllSections, true, machine.machine());
  builder.RunAll([](const std::wstring&) {});
  ExpectFixture(builder.BlockText(), "system-excluded.xml");
}

// Each bit gives one section, non-empty here, and together they give the whole block in order.
TEST_F(SystemBlockTest, EachBitSelectsOnlyItsOwnSection) {
  std::wstring joined = L"<system>\r\n";
  for (BlockMask bit = SystemBlock::kWmi; bit <= SystemBlock::kMiscellaneous; bit <<= 1) {
    const std::wstring text = Produce(machine, bit | 0x800 | 0x2);  // other blocks' bits change nothing
    ASSERT_GT(text.size(), 21u) << bit;
    joined += text.substr(10, text.size() - 21);  // without the block's own first and last line
  }
  EXPECT_EQ(joined + L"</system>\r\n", Produce(machine, SystemBlock::kAllSections));
}

// OSLanguage is a decimal LCID, Locale a hexadecimal one; both use their low
// 16 bits, a name already present stays, and a failed lookup gives an empty name.
TEST(SystemBlockLocaleNames, DerivedFromThePropertiesPresent) {
  platform::MemoryMachine machine;
  SetLocaleNames(machine.locale);
  for (const platform::PropertyList& row : std::vector<platform::PropertyList>{
           {{L"Caption", L"X"}}, {{L"OSLanguage", L"en-US"}, {L"Locale", L"0409"}},
           {{L"OSLanguage", L""}, {L"Locale", L"zz"}}, {{L"OSLanguage", L"1234"}},
           {{L"OSLanguage", L"66569"}, {L"Locale", L"10407"}},
           {{L"OSLanguage", L"1031"}, {L"OSLanguageLanguage", L"preset"}}}) {
    machine.management.AddRow(L"Win32_OperatingSystem", row);
  }
  ExpectFixture(Produce(machine, SystemBlock::kWmi), "system-locale-names.xml");
}

}  // namespace
