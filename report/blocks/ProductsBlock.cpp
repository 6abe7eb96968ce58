#include "report/blocks/ProductsBlock.h"

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "report/FileTree.h"
#include "report/RegistryViews.h"
#include "report/SystemReaders.h"
#include "report/XmlText.h"

namespace dromika {
namespace {

constexpr const wchar_t* kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const wchar_t* kMakerKey = L"Software\\VANTOREL";
constexpr const wchar_t* kLocationValues[] = {L"InstallLocation", L"InstallFolder", L"ShellExInstallLocation"};

std::wstring Attribute(const wchar_t* name, const std::wstring& value) {
  return std::wstring(L" ") + name + L"=\"" + XmlEscape(value) + L"\"";
}

}  // namespace

std::wstring ProductsBlock::Produce() {
  std::wstring text = L"<products>\n";
  if (machine_.registry) {
    ScanUninstallList(text);
    ScanMakerKey(kMakerKey, BothViews(), text);
  }
  return text + L"</products>\n";
}

std::wstring ProductsBlock::Read(const std::wstring& keyPath, platform::RegistryView view, const wchar_t* valueName,
                                 bool* found) {
  std::wstring value;
  const bool read =
      ReadRegistryString(*machine_.registry, platform::RegistryRoot::kLocalMachine, keyPath, valueName, value, view);
  if (found) *found = read;
  return value;
}

// Install locations name folders and are often stored without the final
// separator; taken literally, the tree would note the product's folder as a
// file and list its whole parent, subfolders and all.
void ProductsBlock::NoteFolder(const std::wstring& location) {
  if (!tree_ || location.empty()) return;
  const wchar_t separator = tree_->Files().Separator();
  tree_->AddFolderContents(tree_, location.back() == separator ? location : location + separator, true);
}

// The maker's entries are those whose help link names it (case matters);
// one without an install location is not listed. An entry that both views
// hold is read from the 64-bit one only.
void ProductsBlock::ScanUninstallList(std::wstring& text) {
  for (const auto& entry :
       MergedSubkeys(*machine_.registry, platform::RegistryRoot::kLocalMachine, kUninstallKey, BothViews())) {
    const std::wstring key = std::wstring(kUninstallKey) + L"\\" + entry.name;
    const platform::RegistryView view = entry.views.front();
    bool hasHelpLink = false;
    const std::wstring helpLink = Read(key, view, L"HelpLink", &hasHelpLink);
    if (!hasHelpLink || helpLink.find(L"vantorel") == std::wstring::npos) continue;
    const std::wstring location = Read(key, view, L"InstallLocation");
    if (location.empty()) continue;
    text += L"  <product" + Attribute(L"name", Read(key, view, L"DisplayName")) +
            Attribute(L"installedversion", Read(key, view, L"DisplayVersion")) +
            Attribute(L"comments", Read(key, view, L"Comments")) + Attribute(L"installlocation", location) +
            Attribute(L"guid", entry.name) + L"/>\n";
    NoteFolder(location);
  }
}

// Depth first: a key's own product line comes before those of the keys below
// it, and a key without a location is still searched below. A key that both
// views hold gives one line, from the 64-bit view, and is searched below in
// both, so that what a 32-bit installer added beneath it is found too.
void ProductsBlock::ScanMakerKey(const std::wstring& keyPath, const std::vector<platform::RegistryView>& views,
                                 std::wstring& text) {
  for (const auto& entry : MergedSubkeys(*machine_.registry, platform::RegistryRoot::kLocalMachine, keyPath, views)) {
    const std::wstring key = keyPath + L"\\" + entry.name;
    const platform::RegistryView view = entry.views.front();
    bool found = false;
    std::wstring location;
    for (const wchar_t* valueName : kLocationValues) {
      location = Read(key, view, valueName, &found);
      if (found) break;
    }
    if (found) {
      text += L"  <product" + Attribute(L"name", Read(key, view, L"ProductLabel")) +
              Attribute(L"installedversion", Read(key, view, L"Version")) + Attribute(L"installlocation", location) +
              Attribute(L"guid", Read(key, view, L"ProductCode")) + L"/>\n";
      NoteFolder(location);
    }
    ScanMakerKey(key, entry.views, text);
  }
}

}  // namespace dromika
