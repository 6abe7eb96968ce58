#include "report/blocks/RegistryBlock.h"

#include <optional>

#include "platform/Registry.h"
#include "report/XmlText.h"
#include "runtime/Format.h"
#include "runtime/Str.h"

namespace dromika {
namespace {

using platform::RegistryRoot;

struct ConfiguredKey {
  const wchar_t* path;
  bool bothViews;
};

constexpr ConfiguredKey kKeys[] = {
    {L"HKCU\\Software\\VANTOREL", false},
    {L"HKLM\\Hardware\\Description\\System\\BIOS", false},
    {L"HKLM\\Software\\VANTOREL", true},
};

std::optional<RegistryRoot> RootOf(const std::wstring& prefix) {
  if (prefix == L"HKCR") return RegistryRoot::kClassesRoot;
  if (prefix == L"HKCU") return RegistryRoot::kCurrentUser;
  if (prefix == L"HKLM") return RegistryRoot::kLocalMachine;
  return std::nullopt;
}

// The path below the root: what follows the prefix and its backslash.
std::wstring RestOf(const std::wstring& path) { return path.size() > 5 ? path.substr(5) : std::wstring(); }

const wchar_t* TypeText(uint32_t type) {
  switch (type) {
    case platform::kRegSz: return L"REG_SZ";
    case platform::kRegExpandSz: return L"REG_EXPAND_SZ";
    case platform::kRegDword: return L"REG_DWORD";
    case platform::kRegBinary: return L"REG_BINARY";
    case platform::kRegDwordBigEndian: return L"REG_DWORD_BIG_ENDIAN";
    case platform::kRegLink: return L"REG_LINK";
    case platform::kRegResourceList: return L"REG_RESOURCE_LIST";
    case platform::kRegQword: return L"REG_QWORD";
    default: return L"";
  }
}

bool CarriesValue(uint32_t type) {
  return type == platform::kRegSz || type == platform::kRegExpandSz || type == platform::kRegDword;
}

// Strings run to their first NUL or the end of their data; a DWORD stored
// with fewer than four bytes reads as if the rest were zero.
std::wstring ValueText(const platform::RegistryValue& value) {
  if (value.type != platform::kRegDword) {
    return value.data.size() <= 1 ? std::wstring() : platform::TextOfRegistryData(value.data);
  }
  if (value.data.empty()) return std::wstring();
  uint32_t number = 0;
  for (size_t i = 0; i < 4 && i < value.data.size(); ++i) number |= uint32_t{value.data[i]} << (8 * i);
  return str::snprintf(L"0x%08x (%u)", number, number);
}

}  // namespace

std::wstring RegistryBlock::Produce() {
  std::wstring text = L"<registry>\n";
  for (const auto& key : kKeys) text += DumpRegistryKey(key.path, -1, key.bothViews ? BothViews() : OwnView());
  return text + L"</registry>\n";
}

std::wstring RegistryBlock::DumpRegistryKey(const std::wstring& path, int depth) {
  return DumpRegistryKey(path, depth, OwnView());
}

std::wstring RegistryBlock::DumpRegistryKey(const std::wstring& path, int depth, const RegistryViews& views) {
  const auto root = RootOf(path.substr(0, 4));
  if (!root || !machine_.registry) return std::wstring();
  std::wstring text;
  if (depth >= 0) {
    DumpValues(path, depth, views, text);
    DumpSubkeys(path, depth, views, text);
    return text;
  }
  RegistryViews opened;
  for (const auto view : views) {
    if (machine_.registry->CanOpen(*root, RestOf(path), view)) opened.push_back(view);
  }
  if (opened.empty()) return text;
  const auto components = str::split(path, L'\\');
  const int n = static_cast<int>(components.size());
  for (int i = 0; i < n; ++i) {
    text += std::wstring(2 * i, L' ') + L"  <key name=\"" + XmlEscape(components[i]) + L"\">\n";
  }
  text += DumpRegistryKey(path, 2 * n, opened);
  for (int i = n - 1; i >= 0; --i) text += std::wstring(2 * i, L' ') + L"  </key>\n";
  return text;
}

// The default value (no name) and REG_NONE values are not written.
void RegistryBlock::DumpValues(const std::wstring& path, int depth, const RegistryViews& views,
                               std::wstring& text) {
  const auto values = MergedValues(*machine_.registry, *RootOf(path.substr(0, 4)), RestOf(path), views);
  const std::wstring indent(depth, L' ');
  for (const auto& value : values) {
    if (value.name.empty() || value.type == platform::kRegNone) continue;
    text += indent + L"  <value name=\"" + XmlEscape(value.name) + L"\" type=\"" + TypeText(value.type) + L"\"";
    if (CarriesValue(value.type)) text += L" value=\"" + XmlEscape(ValueText(value)) + L"\"";
    text += L"/>\n";
  }
}

void RegistryBlock::DumpSubkeys(const std::wstring& path, int depth, const RegistryViews& views,
                                std::wstring& text) {
  const auto subkeys = MergedSubkeys(*machine_.registry, *RootOf(path.substr(0, 4)), RestOf(path), views);
  const std::wstring indent(depth, L' ');
  for (const auto& subkey : subkeys) {
    const std::wstring& name = subkey.name;
    text += indent + L"  <key name=\"" + XmlEscape(name) + L"\">\n";
    text += DumpRegistryKey(path + L"\\" + name, depth + 2, subkey.views);
    text += indent + L"  </key>\n";
  }
}

}  // namespace dromika
