#include <windows.h>

#include "platform/Registry.h"

namespace platform {
namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::kCurrentUser: return HKEY_CURRENT_USER;
    default: return HKEY_LOCAL_MACHINE;
  }
}

REGSAM ViewFlag(RegistryView view) {
  switch (view) {
    case RegistryView::k64Bit: return KEY_WOW64_64KEY;
    case RegistryView::k32Bit: return KEY_WOW64_32KEY;
    default: return 0;
  }
}

// An open key that closes itself.
class OpenKey {
 public:
  OpenKey(RegistryRoot root, const std::wstring& path, RegistryView view) {
    if (RegOpenKeyExW(RootKey(root), path.c_str(), 0, KEY_READ | ViewFlag(view), &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~OpenKey() {
    if (key_) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  explicit operator bool() const { return key_ != nullptr; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

constexpr DWORD kNameChars = 260;

class WindowsRegistry : public Registry {
 public:
  bool CanOpen(RegistryRoot root, const std::wstring& path, RegistryView view) override {
    return static_cast<bool>(OpenKey(root, path, view));
  }

  std::optional<RegistryValue> QueryValue(RegistryRoot root, const std::wstring& path, const std::wstring& name,
                                          RegistryView view) override {
    OpenKey key(root, path, view);
    if (!key) return std::nullopt;
    RegistryValue value{name, kRegNone, std::vector<uint8_t>(128)};
    DWORD type = 0, size = 128;
    LONG result = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, value.data.data(), &size);
    if (result == ERROR_MORE_DATA) {
      value.data.assign(size, 0);
      result = RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, value.data.data(), &size);
    }
    if (result != ERROR_SUCCESS) return std::nullopt;
    value.type = type;
    value.data.resize(size);
    return value;
  }

  std::optional<std::vector<RegistryValue>> EnumValues(RegistryRoot root, const std::wstring& path,
                                                       RegistryView view) override {
    OpenKey key(root, path, view);
    if (!key) return std::nullopt;
    std::vector<RegistryValue> values;
    for (DWORD index = 0;; ++index) {
      wchar_t name[kNameChars];
      std::vector<uint8_t> data(1024, 0);
      DWORD nameChars = kNameChars, type = 0, size = static_cast<DWORD>(data.size());
      LONG result = RegEnumValueW(key.get(), index, name, &nameChars, nullptr, &type, data.data(), &size);
      if (result == ERROR_MORE_DATA && size > data.size()) {
        // The data did not fit: once more with the size the system asked for.
        data.assign(size, 0);
        nameChars = kNameChars;
        result = RegEnumValueW(key.get(), index, name, &nameChars, nullptr, &type, data.data(), &size);
      }
      // ERROR_MORE_DATA here means the name does not fit 260 characters: the list ends.
      if (result != ERROR_SUCCESS) break;
      data.resize(size);
      values.push_back({std::wstring(name, nameChars), type, std::move(data)});
    }
    return values;
  }

  std::optional<std::vector<std::wstring>> EnumSubkeys(RegistryRoot root, const std::wstring& path,
                                                       RegistryView view) override {
    OpenKey key(root, path, view);
    if (!key) return std::nullopt;
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
      wchar_t name[kNameChars];
      DWORD nameChars = kNameChars;
      if (RegEnumKeyExW(key.get(), index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, nameChars);
    }
    return names;
  }
};

}  // namespace

Registry& HostRegistry() {
  static WindowsRegistry registry;
  return registry;
}

}  // namespace platform
