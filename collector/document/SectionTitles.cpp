#include "collector/document/SectionTitles.h"

#include <array>
#include <utility>

#include "collector/document/ReportBlocks.h"

namespace collector {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kTitles = {{
    {"Win32_OperatingSystem", "Operating system"},
    {"Win32_Processor", "Processor"},
    {"Win32_ComputerSystem", "Computer"},
    {"Win32_Process", "Processes"},
    {"windowsinstaller", "Windows Installer"},
    {"dotnet", ".NET Framework"},
    {"monitors", "Monitors"},
    {"locale", "Locale"},
    {"ie", "Internet Explorer"},
    {"environment", "Environment"},
    {"time", "Clock"},
    {"processors", "Processors"},
    {"memory", "Memory"},
}};

}  // namespace

std::string_view SectionTitle(std::string_view element) {
  if (auto block = ReportBlockNamed(element)) return InfoOf(*block).title;
  for (const auto& [name, title] : kTitles) {
    if (name == element) return title;
  }
  return element;
}

}  // namespace collector
