#include "collector/pages/DisplayValues.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

#include "collector/base/WholeNumber.h"
#include "collector/pages/Html.h"

namespace collector::pages {
namespace {

using Names = std::initializer_list<std::pair<int64_t, std::string_view>>;

constexpr std::string_view kKibFields[] = {"FreePhysicalMemory",      "TotalVisibleMemorySize", "FreeVirtualMemory",
                                           "TotalVirtualMemorySize",  "SizeStoredInPagingFiles",
                                           "FreeSpaceInPagingFiles"};
constexpr std::string_view kByteFields[] = {
    "TotalPhysicalMemory", "rambytes", "pagesizebytes", "pageavailbytes", "totalfreebytes", "totalavailablebytes",
    "bytes", "Size", "FreeSpace", "Capacity", "WorkingSetSize", "VirtualSize", "PeakWorkingSetSize", "PeakVirtualSize"};

struct Locale {
  unsigned lcid;
  std::string_view tag, language, country;
};

constexpr Locale kLocales[] = {
    {0x0401, "ar-SA", "Arabic", "Saudi Arabia"},   {0x0402, "bg-BG", "Bulgarian", "Bulgaria"},
    {0x0404, "zh-TW", "Chinese", "Taiwan"},         {0x0405, "cs-CZ", "Czech", "Czechia"},
    {0x0406, "da-DK", "Danish", "Denmark"},         {0x0407, "de-DE", "German", "Germany"},
    {0x0408, "el-GR", "Greek", "Greece"},           {0x0409, "en-US", "English", "United States"},
    {0x040B, "fi-FI", "Finnish", "Finland"},        {0x040C, "fr-FR", "French", "France"},
    {0x040D, "he-IL", "Hebrew", "Israel"},          {0x040E, "hu-HU", "Hungarian", "Hungary"},
    {0x0410, "it-IT", "Italian", "Italy"},          {0x0411, "ja-JP", "Japanese", "Japan"},
    {0x0412, "ko-KR", "Korean", "Korea"},           {0x0413, "nl-NL", "Dutch", "Netherlands"},
    {0x0414, "nb-NO", "Norwegian Bokmål", "Norway"}, {0x0415, "pl-PL", "Polish", "Poland"},
    {0x0416, "pt-BR", "Portuguese", "Brazil"},      {0x0418, "ro-RO", "Romanian", "Romania"},
    {0x0419, "ru-RU", "Russian", "Russia"},         {0x041A, "hr-HR", "Croatian", "Croatia"},
    {0x041B, "sk-SK", "Slovak", "Slovakia"},        {0x041D, "sv-SE", "Swedish", "Sweden"},
    {0x041E, "th-TH", "Thai", "Thailand"},          {0x041F, "tr-TR", "Turkish", "Türkiye"},
    {0x0421, "id-ID", "Indonesian", "Indonesia"},   {0x0422, "uk-UA", "Ukrainian", "Ukraine"},
    {0x0424, "sl-SI", "Slovenian", "Slovenia"},     {0x0425, "et-EE", "Estonian", "Estonia"},
    {0x0426, "lv-LV", "Latvian", "Latvia"},         {0x0427, "lt-LT", "Lithuanian", "Lithuania"},
    {0x042A, "vi-VN", "Vietnamese", "Vietnam"},     {0x0439, "hi-IN", "Hindi", "India"},
    {0x007F, "", "Invariant Language", "Invariant Country"},
    {0x0804, "zh-CN", "Chinese", "China"},          {0x0807, "de-CH", "German", "Switzerland"},
    {0x0809, "en-GB", "English", "United Kingdom"}, {0x080C, "fr-BE", "French", "Belgium"},
    {0x0813, "nl-BE", "Dutch", "Belgium"},          {0x0816, "pt-PT", "Portuguese", "Portugal"},
    {0x0C07, "de-AT", "German", "Austria"},         {0x0C09, "en-AU", "English", "Australia"},
    {0x0C0A, "es-ES", "Spanish", "Spain"},          {0x0C0C, "fr-CA", "French", "Canada"},
    {0x1009, "en-CA", "English", "Canada"},         {0x100C, "fr-CH", "French", "Switzerland"},
    {0x080A, "es-MX", "Spanish", "Mexico"},
};

std::string Named(std::string_view value, Names names) {
  const auto n = ParseWholeNumber(value);
  if (!n) return {};
  for (const auto& [code, name] : names) {
    if (code == *n) return std::string(name);
  }
  return {};
}

bool IsOneOf(std::string_view field, const std::string_view* list, size_t count) {
  return std::find(list, list + count, field) != list + count;
}

std::string Locales(std::string_view value, int base) {
  if (value.empty() || value.size() > 8) return {};
  const std::string text(value);
  char* end = nullptr;
  const unsigned long lcid = std::strtoul(text.c_str(), &end, base);
  if (end != text.c_str() + text.size()) return {};
  return LocaleName(static_cast<unsigned>(lcid));
}

}  // namespace

std::string ManagementTime(std::string_view v) {
  if (v.size() != 25 || v[14] != '.' || (v[21] != '+' && v[21] != '-')) return {};
  for (size_t i = 0; i < v.size(); ++i) {
    if (i != 14 && i != 21 && (v[i] < '0' || v[i] > '9')) return {};
  }
  const int offset = std::atoi(std::string(v.substr(22, 3)).c_str());
  std::string zone = "UTC" + std::string(1, v[21]) + std::to_string(offset / 60);
  if (offset % 60) zone += ":" + std::string(offset % 60 < 10 ? "0" : "") + std::to_string(offset % 60);
  return std::string(v.substr(0, 4)) + "-" + std::string(v.substr(4, 2)) + "-" + std::string(v.substr(6, 2)) + " " +
         std::string(v.substr(8, 2)) + ":" + std::string(v.substr(10, 2)) + ":" + std::string(v.substr(12, 2)) +
         " (" + zone + ")";
}

std::string LocaleName(unsigned lcid) {
  for (const Locale& l : kLocales) {
    if (l.lcid != lcid) continue;
    const std::string name = std::string(l.language) + " (" + std::string(l.country) + ")";
    return l.tag.empty() ? name : std::string(l.tag) + " \u2014 " + name;
  }
  return {};
}

std::string DisplayValue(std::string_view field, std::string_view value) {
  if (std::string time = ManagementTime(value); !time.empty()) return time;
  if (IsOneOf(field, kKibFields, std::size(kKibFields)) || IsOneOf(field, kByteFields, std::size(kByteFields))) {
    const auto n = ParseWholeNumber(value);
    if (!n || *n < 0) return {};
    const bool kib = IsOneOf(field, kKibFields, std::size(kKibFields));
    return *n < (int64_t{1} << 53) ? Bytes(kib ? *n * 1024 : *n) : std::string();
  }
  if (field == "Architecture" || field == "architecture") {
    return Named(value, {{0, "x86"}, {1, "MIPS"}, {2, "Alpha"}, {3, "PowerPC"}, {5, "ARM"}, {6, "Itanium"},
                         {9, "x64"}, {12, "ARM64"}});
  }
  if (field == "type" && value.size() >= 3) {
    return Named(value, {{386, "Intel 386"}, {486, "Intel 486"}, {586, "Pentium"}, {2200, "Itanium"}, {8664, "x64"}});
  }
  if (field == "OSType") {
    return Named(value, {{0, "unknown"}, {1, "other"}, {16, "Windows 95"}, {17, "Windows 98"}, {18, "Windows NT"},
                         {19, "Windows CE"}, {36, "Linux"}, {58, "Windows 2000"}, {63, "Windows (64-bit)"}});
  }
  if (field == "DriveType") {
    return Named(value, {{0, "unknown"}, {1, "no root folder"}, {2, "removable"}, {3, "local disk"},
                         {4, "network drive"}, {5, "optical disc"}, {6, "RAM disk"}});
  }
  if (field == "Locale") return Locales(value, 16);
  if (field == "OSLanguage" || field == "LCID") return Locales(value, 10);
  return {};
}

std::string ValueCell(std::string_view field, std::string_view value) {
  const std::string shown = DisplayValue(field, value);
  const auto number = ParseWholeNumber(value);
  // Names read from the left; numbers, sizes and times line up on the right.
  const bool aligned = number && (shown.empty() || (shown[0] >= '0' && shown[0] <= '9'));
  std::string out = std::string(aligned ? "<td class=\"n\"" : "<td");
  if (number) out += " data-v=\"" + std::to_string(*number) + "\"";
  if (shown.empty()) return out + ">" + Escape(value) + "</td>";
  return out + " title=\"" + Escape(value) + "\">" + Escape(shown) + "</td>";
}

}  // namespace collector::pages
