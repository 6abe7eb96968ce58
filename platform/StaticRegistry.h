// A registry whose keys are set in this process and then read: the Linux
// host's registry (the BIOS key, filled from DMI) and the tests' fixture.
// Key names compare without regard to ASCII case, as Windows does.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace platform {

class StaticRegistry : public Registry {
 public:
  // Creates the key and every key on the way to it.
  void CreateKey(RegistryRoot root, const std::wstring& path);
  // Creates the key when needed and sets the value (replacing one of the same name).
  void SetValue(RegistryRoot root, const std::wstring& path, RegistryValue value);
  void SetString(RegistryRoot root, const std::wstring& path, const std::wstring& name, const std::wstring& text,
                 uint32_t type = kRegSz);
  void SetDword(RegistryRoot root, const std::wstring& path, const std::wstring& name, uint32_t number);
  // Makes a key fail to open, as one without read access does.
  void DenyAccess(RegistryRoot root, const std::wstring& path);

  // One registry: every view reads the same keys.
  bool CanOpen(RegistryRoot root, const std::wstring& path, RegistryView view = RegistryView::kDefault) override;
  std::optional<RegistryValue> QueryValue(RegistryRoot root, const std::wstring& path, const std::wstring& name,
                                          RegistryView view = RegistryView::kDefault) override;
  std::optional<std::vector<RegistryValue>> EnumValues(RegistryRoot root, const std::wstring& path,
                                                       RegistryView view = RegistryView::kDefault) override;
  std::optional<std::vector<std::wstring>> EnumSubkeys(RegistryRoot root, const std::wstring& path,
                                                       RegistryView view = RegistryView::kDefault) override;

 private:
  struct Key {
    std::wstring name;
    bool denied = false;
    std::vector<RegistryValue> values;
    std::vector<std::unique_ptr<Key>> subkeys;
  };
  Key* Find(RegistryRoot root, const std::wstring& path, bool create);
  Key* Openable(RegistryRoot root, const std::wstring& path);

  Key roots_[3];
};

}  // namespace platform
