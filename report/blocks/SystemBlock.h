// The "system" element: WMI classes, installer and framework versions,
// monitors, user locale, and the miscellaneous facts, each section switched
// on by one bit of the block mask.
#pragma once
#include <cstdint>
#include <string>

#include "platform/Machine.h"
#include "report/Block.h"
#include "report/BlockTable.h"
#include "report/Wmi.h"

namespace platform {
class Locale;
}

namespace dromika {

class SystemBlock : public Block {
 public:
  static constexpr BlockMask kWmi = 0x1000;
  static constexpr BlockMask kWindowsInstaller = 0x2000;
  static constexpr BlockMask kDotNet = 0x4000;
  static constexpr BlockMask kMonitors = 0x8000;
  static constexpr BlockMask kLocale = 0x10000;
  static constexpr BlockMask kMiscellaneous = 0x20000;
  static constexpr BlockMask kAllSections = 0x3F000;

  // ExcludePersonalData leaves out the WMI properties that identify the
  // machine, its owner or its user, and the whole environment element.
  SystemBlock(const platform::Machine& machine, bool excludePersonalData, BlockMask mask)
      : machine_(machine), excludePersonalData_(excludePersonalData), mask_(mask) {}

  std::wstring ProgressText() override { return L"Scanning system configuration..."; }
  std::wstring Produce() override;

 private:
  void AppendWmi(std::wstring& text);
  void AppendWindowsInstaller(std::wstring& text);
  void AppendDotNet(std::wstring& text);
  void AppendMonitors(std::wstring& text);
  void AppendLocale(std::wstring& text);
  void AppendMiscellaneous(std::wstring& text);
  void AppendEnvironment(std::wstring& text);
  void AddLocaleNames(WmiRow& row);
  std::wstring SystemFolder(const std::wstring& relative);

  platform::Machine machine_;
  bool excludePersonalData_;
  BlockMask mask_;
};

// The locale item's text into text (empty first); returns its length with the
// terminator, 0 when the lookup failed.
int GetLocaleText(platform::Locale* locale, uint32_t lcid, uint32_t item, std::wstring& text);

}  // namespace dromika
