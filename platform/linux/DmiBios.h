#pragma once
#include <string>

namespace platform {
class StaticRegistry;
class TextFiles;
// Linux: sets the values of HKLM\Hardware\Description\System\BIOS from the
// DMI files of `dmiFolder` (normally /sys/class/dmi/id), under the value names
// Windows uses. Files that are missing or unreadable (serials need root) are skipped.
void FillBiosKeyFromDmi(StaticRegistry& registry, TextFiles& files, const std::string& dmiFolder);
}  // namespace platform
