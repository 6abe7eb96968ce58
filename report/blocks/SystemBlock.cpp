#include "report/blocks/SystemBlock.h"

#include <cwchar>
#include <vector>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Monitors.h"
#include "platform/Program.h"
#include "platform/SystemInfo.h"
#include "report/SystemReaders.h"
#include "report/XmlText.h"
#include "runtime/Convert.h"
#include "runtime/Format.h"

namespace dromika {
namespace {

const std::vector<std::wstring> kOperatingSystemPersonal = {L"CSName", L"Organization", L"RegisteredUser",
                                                            L"SerialNumber", L"Description"};
const std::vector<std::wstring> kProcessorPersonal = {L"SystemName"};
const std::vector<std::wstring> kComputerSystemPersonal = {
    L"Caption",  L"DNSHostName",       L"Domain",   L"Name",     L"PrimaryOwnerContact", L"PrimaryOwnerName",
    L"SupportContactDescription", L"UserName", L"Workgroup"};

const std::vector<std::wstring>& Exclusions(bool exclude, const std::vector<std::wstring>& list) {
  static const std::vector<std::wstring> none;
  return exclude ? list : none;
}

void AddNames(platform::Locale* locale, WmiRow& row, const std::wstring& prefix, uint32_t lcid) {
  std::wstring language, country;
  GetLocaleText(locale, lcid, platform::kLocaleSEngLanguage, language);
  GetLocaleText(locale, lcid, platform::kLocaleSEngCountry, country);
  row.emplace(prefix + L"Language", language);  // an entry already present stays
  row.emplace(prefix + L"Country", country);
}

// What a four-character buffer holds: at most three characters and the
// terminator; a separator that does not fit, or cannot be read, is empty.
std::wstring Separator(platform::Locale* locale, uint32_t item) {
  auto text = locale ? locale->Info(platform::kLocaleUserDefault, item) : std::nullopt;
  return text && text->size() <= 3 ? *text : std::wstring();
}

// An environment entry's name and value, split at its first "=" only, so a
// value holding "=" is kept whole; no "=" at all gives an empty value.
std::pair<std::wstring, std::wstring> SplitEntry(const std::wstring& entry) {
  const size_t equals = entry.find(L'=');
  if (equals == std::wstring::npos) return {entry, std::wstring()};
  return {entry.substr(0, equals), entry.substr(equals + 1)};
}

}  // namespace

int GetLocaleText(platform::Locale* locale, uint32_t lcid, uint32_t item, std::wstring& text) {
  text.clear();
  auto found = locale ? locale->Info(lcid, item) : std::nullopt;
  if (!found) return 0;
  text = *found;
  return static_cast<int>(text.size()) + 1;
}

std::wstring SystemBlock::Produce() {
  std::wstring text = L"<system>\r\n";
  if (mask_ & kWmi) AppendWmi(text);
  if (mask_ & kWindowsInstaller) AppendWindowsInstaller(text);
  if (mask_ & kDotNet) AppendDotNet(text);
  if (mask_ & kMonitors) AppendMonitors(text);
  if (mask_ & kLocale) AppendLocale(text);
  if (mask_ & kMiscellaneous) AppendMiscellaneous(text);
  text += L"</system>\r\n";
  return text;
}

// OSLanguage is a decimal LCID; a text that is not a number gains no names.
// Locale is hexadecimal without a prefix, read as wcstol reads "0x" + text.
void SystemBlock::AddLocaleNames(WmiRow& row) {
  auto language = row.find(L"OSLanguage");
  int number = 0;
  if (language != row.end() && math::impl::ConvertInt<int>::from_string(number, language->second)) {
    AddNames(machine_.locale, row, L"OSLanguage", static_cast<uint32_t>(number) & 0xFFFF);
  }
  auto locale = row.find(L"Locale");
  if (locale != row.end()) {
    const std::wstring hex = L"0x" + locale->second;
    const long lcid = std::wcstol(hex.c_str(), nullptr, 0);
    AddNames(machine_.locale, row, L"Locale", static_cast<uint32_t>(lcid) & 0xFFFF);
  }
}

void SystemBlock::AppendWmi(std::wstring& text) {
  text += L"  <wmi>\r\n";
  WmiConnectionPtr connection = OpenWmiConnection(machine_.management);
  auto system = WmiQuery(connection, L"SELECT * FROM Win32_OperatingSystem");
  for (auto& row : system) AddLocaleNames(row);
  text += WmiRowsToXml(system, L"Win32_OperatingSystem", L"    ",
                       Exclusions(excludePersonalData_, kOperatingSystemPersonal)) + L"\r\n";
  auto processors = WmiQuery(connection, L"SELECT * FROM Win32_Processor");
  text += WmiRowsToXml(processors, L"Win32_Processor", L"    ", Exclusions(excludePersonalData_, kProcessorPersonal)) +
          L"\r\n";
  auto computer = WmiQuery(connection, L"SELECT * FROM Win32_ComputerSystem");
  text += WmiRowsToXml(computer, L"Win32_ComputerSystem", L"    ",
                       Exclusions(excludePersonalData_, kComputerSystemPersonal)) + L"\r\n";
  connection.reset();
  text += L"  </wmi>\r\n";
}

// The system folder's path with the host's separator in place of each "\".
std::wstring SystemBlock::SystemFolder(const std::wstring& relative) {
  std::wstring path = GetEnvVar(*machine_.environment, L"SystemRoot") + relative;
  const wchar_t separator = machine_.files->Separator();
  for (auto& c : path) {
    if (c == L'\\') c = separator;
  }
  return path;
}

void SystemBlock::AppendWindowsInstaller(std::wstring& text) {
  std::wstring version;
  if (GetFileVersion(*machine_.program, SystemFolder(L"\\system32\\msi.dll"), version) != 0) return;
  text += L"  <windowsinstaller version=\"" + XmlEscape(version) + L"\"/>\r\n";
}

// Entries "v*" whose second character is a digit, each with the first file
// version that can be read, or else its own name without the "v". The
// description is escaped too: a folder name can hold any character.
void SystemBlock::AppendDotNet(std::wstring& text) {
  const std::wstring folder = SystemFolder(L"\\Microsoft.Net\\Framework\\");
  const wchar_t separator = machine_.files->Separator();
  text += L"  <dotnet>\r\n";
  const auto entries = machine_.files->ListFolder(folder).value_or(std::vector<platform::FileInfo>());
  for (const auto& entry : entries) {
    const std::wstring& name = entry.name;
    if (name.empty() || machine_.files->CompareKey(name.substr(0, 1)) != machine_.files->CompareKey(L"v")) continue;
    if (name.size() < 2 || name[1] < L'0' || name[1] > L'9') continue;
    const std::wstring base = folder + name + separator;
    std::wstring version;
    if (GetFileVersion(*machine_.program, base + L"Mscorlib.dll", version) != 0 &&
        GetFileVersion(*machine_.program, base + L"Windows Communication Foundation" + separator +
                                              L"System.ServiceModel.dll", version) != 0 &&
        GetFileVersion(*machine_.program, base + L"Windows Presentation Foundation" + separator + L"NPWPF.dll",
                       version) != 0) {
      version = name.substr(1);
    }
    if (version.empty()) continue;
    text += L"    <instance version=\"" + XmlEscape(version) + L"\" description=\"Microsoft .NET Framework " +
            XmlEscape(version) + L"\"/>\r\n";
  }
  text += L"  </dotnet>\r\n";
}

void SystemBlock::AppendMonitors(std::wstring& text) {
  text += L"  <monitors>\r\n";
  const auto monitors = machine_.monitors ? machine_.monitors->List() : std::vector<platform::MonitorInfo>();
  for (const auto& monitor : monitors) {
    text += str::snprintf(
        L"    <monitor width=\"%d\" height=\"%d\" monitordesc=\"%s\" graphicscarddesc=\"%s\" primary=\"%s\"/>\r\n",
        monitor.width, monitor.height, XmlEscape(monitor.monitorDescription), XmlEscape(monitor.cardDescription),
        std::wstring(monitor.primary ? L"yes" : L"no"));
  }
  text += L"  </monitors>\r\n";
}

void SystemBlock::AppendLocale(std::wstring& text) {
  platform::Locale* locale = machine_.locale;
  text += L"  <locale>\r\n    <user_locale";
  const uint32_t lcid = locale ? locale->UserDefaultLcid() : 0;
  text += str::snprintf(L" LCID=\"%d\"", static_cast<int>(lcid));
  std::wstring name;
  if (GetLocaleText(locale, lcid, platform::kLocaleSEngLanguage, name) > 0) {
    text += L" LOCALE_SENGLANGUAGE=\"" + XmlEscape(name) + L"\"";
  }
  if (GetLocaleText(locale, lcid, platform::kLocaleSEngCountry, name) > 0) {
    text += L" LOCALE_SENGCOUNTRY=\"" + XmlEscape(name) + L"\"";
  }
  const std::wstring list = Separator(locale, platform::kLocaleSList);
  const std::wstring thousands = Separator(locale, platform::kLocaleSThousand);
  const std::wstring decimal = Separator(locale, platform::kLocaleSDecimal);
  text += str::snprintf(L" decimalsep=\"%s\" thousandssep=\"%s\" listsep=\"%s\"", XmlEscape(decimal),
                        XmlEscape(thousands), XmlEscape(list)) + L"/>\r\n";
  text += L"  </locale>\r\n";
}

void SystemBlock::AppendEnvironment(std::wstring& text) {
  text += L"  <environment>\r\n";
  const auto entries = machine_.environment->Entries();
  for (const auto& entry : entries.value_or(std::vector<std::wstring>())) {
    if (entry.empty() || entry[0] == L'=') continue;
    const auto [name, value] = SplitEntry(entry);
    if (name != L"TMP" && name != L"TEMP" && name != L"PATH") continue;
    text += L"    <var name=\"" + name + L"\" value=\"" + XmlEscape(value) + L"\"/>\r\n";
  }
  text += L"  </environment>\r\n";
}

void SystemBlock::AppendMiscellaneous(std::wstring& text) {
  std::wstring ie = L"less than 4";
  ReadRegistryString(*machine_.registry, platform::RegistryRoot::kLocalMachine,
                     L"Software\\Microsoft\\Internet Explorer", L"Version", ie);
  text += L"  <ie version=\"" + XmlEscape(ie) + L"\"/>\r\n";
  if (!excludePersonalData_) AppendEnvironment(text);

  platform::SystemInfo* system = machine_.system;
  const platform::TimeTexts time = system ? system->LocalTime() : platform::TimeTexts();
  text += L"  <time time=\"" + XmlEscape(time.time) + L"\" date=\"" + XmlEscape(time.date) + L"\" tz=\"" +
          XmlEscape(time.zone) + L"\"/>\r\n";
  const platform::ProcessorSummary cpu = system ? system->Processors() : platform::ProcessorSummary();
  text += str::snprintf(L"  <processors count=\"%d\" type=\"%d\" architecture=\"%d\" level=\"%d\" "
                        L"revision=\"%d\"/>\r\n",
                        static_cast<int>(cpu.count), static_cast<int>(cpu.type), static_cast<int>(cpu.architecture),
                        static_cast<int>(cpu.level), static_cast<int>(cpu.revision));
  const platform::MemoryFigures memory = system ? system->Memory() : platform::MemoryFigures();
  text += str::snprintf(
      L"  <memory rambytes=\"%I64d\" ram=\"%s\" pagesizebytes=\"%I64d\" pagesize=\"%s\" pageavailbytes=\"%I64d\" "
      L"pageavail=\"%s\"/>\r\n",
      static_cast<int64_t>(memory.totalPhys), FormatByteSize(memory.totalPhys, 8388608),
      static_cast<int64_t>(memory.totalPageFile), FormatByteSize(memory.totalPageFile, 0),
      static_cast<int64_t>(memory.availPageFile), FormatByteSize(memory.availPageFile, 0));
}

}  // namespace dromika
