#include <gtest/gtest.h>

#include "report/FileTree.h"
#include "report/blocks/ProductsBlock.h"
#include "report/blocks/RegistryBlock.h"
#include "runtime/Str.h"
#include "testing/MemoryMachine.h"

namespace {

using platform::RegistryRoot;
using platform::RegistryView;

constexpr RegistryRoot kMachine = RegistryRoot::kLocalMachine;

// A 64-bit Windows registry: two copies of the machine's software keys.
class TwoViewRegistry : public platform::Registry {
 public:
  platform::StaticRegistry wide, narrow;  // the 64-bit view and the 32-bit view

  bool CanOpen(RegistryRoot root, const std::wstring& path, RegistryView view) override {
    return Of(view).CanOpen(root, path);
  }
  std::optional<platform::RegistryValue> QueryValue(RegistryRoot root, const std::wstring& path,
                                                    const std::wstring& name, RegistryView view) override {
    return Of(view).QueryValue(root, path, name);
  }
  std::optional<std::vector<platform::RegistryValue>> EnumValues(RegistryRoot root, const std::wstring& path,
                                                                 RegistryView view) override {
    return Of(view).EnumValues(root, path);
  }
  std::optional<std::vector<std::wstring>> EnumSubkeys(RegistryRoot root, const std::wstring& path,
                                                       RegistryView view) override {
    return Of(view).EnumSubkeys(root, path);
  }

 private:
  platform::StaticRegistry& Of(RegistryView view) { return view == RegistryView::k32Bit ? narrow : wide; }
};

class RegistryViewsTest : public ::testing::Test {
 protected:
  RegistryViewsTest() {
    machine_ = memory_.machine();
    machine_.registry = &registry;
  }
  std::wstring Products() {
    FileTree tree(memory_.files);
    return dromika::ProductsBlock(machine_, &tree).Produce();
  }
  std::wstring Registry() { return dromika::RegistryBlock(machine_).Produce(); }

  platform::MemoryMachine memory_;
  platform::Machine machine_;
  TwoViewRegistry registry;
};

// A key in both views comes once, from the 64-bit view; what only the 32-bit
// view holds follows, also below a key that both hold.
TEST_F(RegistryViewsTest, ProductsOfBothViewsAreListedOnce) {
  const std::wstring uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  for (auto* view : {&registry.wide, &registry.narrow}) {
    const std::wstring label = view == &registry.wide ? L"64" : L"32";
    view->SetString(kMachine, uninstall + L"{BOTH}", L"HelpLink", L"vantorel");
    view->SetString(kMachine, uninstall + L"{BOTH}", L"InstallLocation", L"C:\\" + label + L"\\");
    view->SetString(kMachine, L"Software\\VANTOREL\\Suite", L"ProductLabel", L"Suite " + label);
    view->SetString(kMachine, L"Software\\VANTOREL\\Suite", L"InstallFolder", L"");
  }
  registry.narrow.SetString(kMachine, uninstall + L"{OLD}", L"HelpLink", L"vantorel");
  registry.narrow.SetString(kMachine, uninstall + L"{OLD}", L"InstallLocation", L"C:\\Old\\");
  registry.narrow.SetString(kMachine, L"software\\vantorel\\SUITE\\Tool", L"InstallFolder", L"");
  registry.narrow.SetString(kMachine, L"Software\\VANTOREL\\Tool", L"ProductLabel", L"Tool");
  registry.narrow.SetString(kMachine, L"Software\\VANTOREL\\Tool", L"InstallFolder", L"");
  EXPECT_EQ(Products(),
            L"<products>\n"
            L"  <product name=\"\" installedversion=\"\" comments=\"\" installlocation=\"C:\\64\\\" guid=\"{BOTH}\"/>\n"
            L"  <product name=\"\" installedversion=\"\" comments=\"\" installlocation=\"C:\\Old\\\" guid=\"{OLD}\"/>\n"
            L"  <product name=\"Suite 64\" installedversion=\"\" installlocation=\"\" guid=\"\"/>\n"
            L"  <product name=\"\" installedversion=\"\" installlocation=\"\" guid=\"\"/>\n"
            L"  <product name=\"Tool\" installedversion=\"\" installlocation=\"\" guid=\"\"/>\n"
            L"</products>\n");
}

// Only the machine's maker key is read in both views; values and subkeys
// that both views hold are written once, the 64-bit view's.
TEST_F(RegistryViewsTest, TheMachineMakerKeyMergesBothViews) {
  registry.wide.SetString(kMachine, L"Software\\VANTOREL\\A", L"Path", L"wide");
  registry.narrow.SetString(kMachine, L"Software\\VANTOREL\\A", L"Path", L"narrow");
  registry.narrow.SetString(kMachine, L"Software\\VANTOREL\\A", L"Extra", L"x");
  registry.narrow.SetString(kMachine, L"Software\\VANTOREL\\B", L"Path", L"b");
  registry.narrow.SetString(kMachine, L"Hardware\\Description\\System\\BIOS", L"BIOSVendor", L"hidden");
  EXPECT_EQ(Registry(),
            L"<registry>\n"
            L"  <key name=\"HKLM\">\n"
            L"    <key name=\"Software\">\n"
            L"      <key name=\"VANTOREL\">\n"
            L"        <key name=\"A\">\n"
            L"          <value name=\"Path\" type=\"REG_SZ\" value=\"wide\"/>\n"
            L"          <value name=\"Extra\" type=\"REG_SZ\" value=\"x\"/>\n"
            L"        </key>\n"
            L"        <key name=\"B\">\n"
            L"          <value name=\"Path\" type=\"REG_SZ\" value=\"b\"/>\n"
            L"        </key>\n"
            L"      </key>\n"
            L"    </key>\n"
            L"  </key>\n"
            L"</registry>\n")
      << str::as_u8string(Registry());
}

}  // namespace
