#include "platform/StaticRegistry.h"

#include "runtime/Str.h"

namespace platform {
namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

}  // namespace

StaticRegistry::Key* StaticRegistry::Find(RegistryRoot root, const std::wstring& path, bool create) {
  Key* key = &roots_[static_cast<int>(root)];
  for (const auto& part : str::split(path, L'\\')) {
    if (part.empty()) continue;
    Key* next = nullptr;
    for (auto& sub : key->subkeys) {
      if (SameName(sub->name, part)) next = sub.get();
    }
    if (!next && !create) return nullptr;
    if (!next) {
      key->subkeys.push_back(std::make_unique<Key>());
      next = key->subkeys.back().get();
      next->name = part;
    }
    key = next;
  }
  return key;
}

StaticRegistry::Key* StaticRegistry::Openable(RegistryRoot root, const std::wstring& path) {
  Key* key = Find(root, path, false);
  return key && !key->denied ? key : nullptr;
}

void StaticRegistry::CreateKey(RegistryRoot root, const std::wstring& path) { Find(root, path, true); }

void StaticRegistry::SetValue(RegistryRoot root, const std::wstring& path, RegistryValue value) {
  Key* key = Find(root, path, true);
  for (auto& existing : key->values) {
    if (SameName(existing.name, value.name)) {
      existing = std::move(value);
      return;
    }
  }
  key->values.push_back(std::move(value));
}

void StaticRegistry::SetString(RegistryRoot root, const std::wstring& path, const std::wstring& name,
                               const std::wstring& text, uint32_t type) {
  SetValue(root, path, {name, type, Utf16Bytes(text)});
}

void StaticRegistry::SetDword(RegistryRoot root, const std::wstring& path, const std::wstring& name,
                              uint32_t number) {
  std::vector<uint8_t> data(4);
  for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(number >> (8 * i));
  SetValue(root, path, {name, kRegDword, data});
}

void StaticRegistry::DenyAccess(RegistryRoot root, const std::wstring& path) { Find(root, path, true)->denied = true; }

bool StaticRegistry::CanOpen(RegistryRoot root, const std::wstring& path, RegistryView) { return Openable(root, path) != nullptr; }

std::optional<RegistryValue> StaticRegistry::QueryValue(RegistryRoot root, const std::wstring& path,
                                                        const std::wstring& name, RegistryView) {
  Key* key = Openable(root, path);
  if (!key) return std::nullopt;
  for (const auto& value : key->values) {
    if (SameName(value.name, name)) return value;
  }
  return std::nullopt;
}

std::optional<std::vector<RegistryValue>> StaticRegistry::EnumValues(RegistryRoot root, const std::wstring& path,
                                                                     RegistryView) {
  Key* key = Openable(root, path);
  if (!key) return std::nullopt;
  std::vector<RegistryValue> values;
  for (const auto& value : key->values) {
    if (value.name.size() >= 260) break;  // as the real enumeration: a name that does not fit ends it
    values.push_back(value);
  }
  return values;
}

std::optional<std::vector<std::wstring>> StaticRegistry::EnumSubkeys(RegistryRoot root, const std::wstring& path,
                                                                     RegistryView) {
  Key* key = Openable(root, path);
  if (!key) return std::nullopt;
  std::vector<std::wstring> names;
  for (const auto& sub : key->subkeys) {
    if (sub->name.size() >= 260) break;
    names.push_back(sub->name);
  }
  return names;
}

}  // namespace platform
