// Linux has no registry. The one key the report reads that Linux can answer
// is the BIOS description, which is built from DMI with the value names
// Windows uses; every other key is absent.
#include <string>

#include "platform/Registry.h"
#include "platform/StaticRegistry.h"
#include "platform/linux/DmiBios.h"
#include "platform/linux/LinuxText.h"
#include "platform/linux/TextFiles.h"
#include "runtime/Str.h"

namespace platform {
namespace {

constexpr const wchar_t* kBiosKey = L"Hardware\\Description\\System\\BIOS";

struct DmiField {
  const char* file;
  const wchar_t* valueName;
};

constexpr DmiField kBiosFields[] = {
    {"bios_vendor", L"BIOSVendor"},
    {"bios_version", L"BIOSVersion"},
    {"bios_date", L"BIOSReleaseDate"},
    {"sys_vendor", L"SystemManufacturer"},
    {"product_name", L"SystemProductName"},
    {"product_version", L"SystemVersion"},
    {"product_family", L"SystemFamily"},
    {"product_sku", L"SystemSKU"},
    {"board_vendor", L"BaseBoardManufacturer"},
    {"board_name", L"BaseBoardProduct"},
    {"board_version", L"BaseBoardVersion"},
};


}  // namespace

void FillBiosKeyFromDmi(StaticRegistry& registry, TextFiles& files, const std::string& dmiFolder) {
  for (const auto& field : kBiosFields) {
    if (auto text = files.Read(dmiFolder + "/" + field.file)) {
      registry.SetString(RegistryRoot::kLocalMachine, kBiosKey, field.valueName,
                         str::as_wstring(linux_text::FirstLine(*text)));
    }
  }
}

Registry& HostRegistry() {
  static StaticRegistry registry = [] {
    StaticRegistry bios;
    FillBiosKeyFromDmi(bios, HostTextFiles(), "/sys/class/dmi/id");
    return bios;
  }();
  return registry;
}

}  // namespace platform
