#include <gtest/gtest.h>

#include "report/FileTree.h"
#include "report/blocks/ProductsBlock.h"
#include "report/blocks/RegistryBlock.h"
#include "testing/MemoryMachine.h"
#include "unit/report/ReportFixture.h"

namespace {

using platform::RegistryRoot;
using platform::RegistryView;

constexpr RegistryRoot kUser = RegistryRoot::kCurrentUser;
constexpr RegistryRoot kMachine = RegistryRoot::kLocalMachine;

// The three keys in their fixed order; every value type, data of every size
// with and without its NUL, names to escape, subkeys after values, a key
// that cannot be read, and a name too long for the 260-character buffer,
// which ends its key's value list.
TEST(RegistryBlock, KeysWithEveryKindOfValue) {
  using namespace platform;
  MemoryMachine machine;
  dromika::RegistryBlock block(machine.machine());
  const auto text = [](const std::wstring& s) { return Utf16Bytes(s); };
  using Value = std::tuple<std::wstring, std::wstring, uint32_t, std::vector<uint8_t>>;
  for (const auto& [key, name, type, data] : std::vector<Value>{
           {L"", L"", kRegSz, text(L"never written")}, {L"", L"Path", kRegExpandSz, text(L"%ProgramFiles%\\V")},
           {L"", L"Blob", kRegBinary, {1, 2, 3}}, {L"", L"List", kRegMultiSz, Utf16Bytes(L"a\0b", true)},
           {L"", L"Nothing", kRegNone, {}}, {L"", L"Big", kRegDwordBigEndian, {0, 0, 0, 1}},
           {L"", L"Link", kRegLink, {}}, {L"", L"Resources", kRegResourceList, {9}},
           {L"", L"Wide", kRegQword, std::vector<uint8_t>(8, 0xFF)}, {L"", L"Odd", 12345, {}},
           {L"", L"EmptyString", kRegSz, {}}, {L"", L"OneByte", kRegSz, {'x'}},
           {L"", L"Unterminated", kRegSz, Utf16Bytes(L"abc", false)}, {L"", L"OddSize", kRegSz, {'h', 0, 'i', 0, '!'}},
           {L"", L"EmbeddedNul", kRegSz, text(std::wstring(L"up\0to", 5))}, {L"", L"NoDword", kRegDword, {}},
           {L"", L"ShortDword", kRegDword, {0x34, 0x12}}, {L"", L"LongDword", kRegDword, {1, 0, 0, 0, 0xFF}},
           {L"", L"Lone", kRegSz, {0x00, 0xD8, 'z', 0}},  // an unpaired surrogate
           {L"", L"Ctl\t<&>\"'", kRegSz, text(L"\x01\x1f ok")}, {L"\\Inner\\Deeper", L"Name", kRegSz, text(L"<deep>")},
           {L"\\Closed", L"Hidden", kRegSz, text(L"unseen")}, {L"\\Cut", L"Before", kRegSz, text(L"seen")},
           {L"\\Cut", std::wstring(300, L'n'), kRegSz, text(L"long")}, {L"\\Cut", L"After", kRegSz, text(L"unseen")}}) {
    machine.registry.SetValue(kUser, L"Software\\VANTOREL" + key, {name, type, data});
  }
  for (const wchar_t* key : {L"\\Empty", L"\\A&B", L"\\Cut\\Below"}) {
    machine.registry.CreateKey(kUser, std::wstring(L"Software\\VANTOREL") + key);
  }
  machine.registry.DenyAccess(kUser, L"Software\\VANTOREL\\Closed");
  machine.registry.SetString(kMachine, L"Hardware\\Description\\System\\BIOS", L"BIOSVendor", L"Acme & Sons");
  machine.registry.SetDword(kMachine, L"Hardware\\Description\\System\\BIOS", L"BiosMajorRelease", 1024);
  machine.registry.SetDword(kMachine, L"Software\\VANTOREL", L"MACHINE", 0);  // names ignore case: replaced
  machine.registry.SetDword(kMachine, L"Software\\VANTOREL", L"Machine", 1);
  const std::wstring all = block.Produce();
  ExpectFixture(all, "registry.xml");
  EXPECT_EQ(block.DumpRegistryKey(L"HKXX\\Software\\VANTOREL", -1), L"");  // an unknown root
  EXPECT_EQ(block.DumpRegistryKey(L"HKLM\\Software\\VANTOREL", 4),
            L"      <value name=\"Machine\" type=\"REG_DWORD\" value=\"0x00000001 (1)\"/>\n");
  // A key that cannot be opened leaves nothing, not even its path.
  machine.registry.DenyAccess(kMachine, L"Software\\VANTOREL");
  const size_t maker = all.find(L"  <key name=\"HKLM\">\n    <key name=\"Software\">");
  EXPECT_EQ(block.Produce(), all.substr(0, maker) + L"</registry>\n");
}

// A 64-bit Windows registry: two copies of the machine's software keys.
class TwoViewRegistry : public platform::Registry {
 public:
  platform::StaticRegistry wide, narrow;  // the 64-bit view and the 32-bit view

  platform::StaticRegistry& Of(RegistryView view) { return view == RegistryView::k32Bit ? narrow : wide; }
  bool CanOpen(RegistryRoot r, const std::wstring& path, RegistryView v) override { return Of(v).CanOpen(r, path); }
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
};

// Products: a key in both views comes once, from the 64-bit view; what only
// the 32-bit view holds follows, also below a key that both hold (names
// compared without case). Registry: only the machine's maker key is read in
// both views; values and subkeys that both hold are written once, the
// 64-bit view's.
TEST(RegistryViews, ProductsAndMakerKeyMergeBothViews) {
  TwoViewRegistry registry;
  const std::wstring uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  for (auto* view : {&registry.wide, &registry.narrow}) {
    const std::wstring label = view == &registry.wide ? L"64" : L"32";
    view->SetString(kMachine, uninstall + L"{BOTH}", L"HelpLink", L"vantorel");
    view->SetString(kMachine, uninstall + L"{BOTH}", L"InstallLocation", L"C:\\" + label + L"\\");
    view->SetString(kMachine, L"Software\\VANTOREL\\Suite", L"ProductLabel", L"Suite " + label);
    view->SetString(kMachine, L"Software\\VANTOREL\\Suite", L"InstallFolder", L"");
    view->SetString(kMachine, L"Software\\VANTOREL\\A", L"Path", label);
  }
  registry.narrow.SetString(kMachine, uninstall + L"{OLD}", L"HelpLink", L"vantorel");
  registry.narrow.SetString(kMachine, uninstall + L"{OLD}", L"InstallLocation", L"C:\\Old\\");
  registry.narrow.SetString(kMachine, L"software\\vantorel\\SUITE\\Tool", L"InstallFolder", L"");
  registry.narrow.SetString(kMachine, L"Software\\VANTOREL\\Tool", L"ProductLabel", L"Tool");
  registry.narrow.SetString(kMachine, L"Software\\VANTOREL\\Tool", L"InstallFolder", L"");
  registry.narrow.SetString(kMachine, L"Software\\VANTOREL\\A", L"Extra", L"x");
  registry.narrow.SetString(kMachine, L"Hardware\\Description\\System\\BIOS", L"BIOSVendor", L"hidden");

  platform::MemoryMachine memory;
  platform::Machine machine = memory.machine();
  machine.registry = &registry;
  FileTree tree(memory.files);
  ExpectFixture(dromika::ProductsBlock(machine, &tree).Produce() + dromika::RegistryBlock(machine).Produce(),
                "views.xml");
}

}  // namespace
