// Read-only registry access. Windows reads the real registry; Linux offers the
// BIOS key built from DMI and no other key.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine };

// A 64-bit Windows keeps two copies of parts of HKLM\Software: one for 64-bit
// programs and one (WOW6432Node) for 32-bit ones. kDefault is this program's
// own; the others pick one explicitly (KEY_WOW64_64KEY, KEY_WOW64_32KEY).
// Backends with one registry answer the same for every view.
enum class RegistryView { kDefault, k64Bit, k32Bit };

enum RegistryType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegResourceList = 8,
  kRegQword = 11,
};

struct RegistryValue {
  std::wstring name;
  uint32_t type = kRegNone;
  std::vector<uint8_t> data;  // as stored: strings are UTF-16LE, a DWORD is 4 bytes little-endian
};

class Registry {
 public:
  virtual ~Registry() = default;
  // True when the key opens for reading.
  virtual bool CanOpen(RegistryRoot root, const std::wstring& path, RegistryView view = RegistryView::kDefault) = 0;
  // One value of a key (empty name: the default value). Windows starts with a
  // 128-byte buffer and asks once more with the size the system reports.
  // nullopt when the key or the value is missing or the read fails.
  virtual std::optional<RegistryValue> QueryValue(RegistryRoot root, const std::wstring& path,
                                                  const std::wstring& name,
                                                  RegistryView view = RegistryView::kDefault) = 0;
  // The values by index from 0 until the first index that fails (a name over
  // 260 characters ends the list too); nullopt when the key cannot be opened.
  virtual std::optional<std::vector<RegistryValue>> EnumValues(RegistryRoot root, const std::wstring& path,
                                                               RegistryView view = RegistryView::kDefault) = 0;
  // The subkey names by index from 0 until the first index that fails (names
  // are read into 260 characters); nullopt when the key cannot be opened.
  virtual std::optional<std::vector<std::wstring>> EnumSubkeys(RegistryRoot root, const std::wstring& path,
                                                               RegistryView view = RegistryView::kDefault) = 0;
};

Registry& HostRegistry();

// Helpers shared by every backend and the blocks.
std::vector<uint8_t> Utf16Bytes(const std::wstring& text, bool terminate = true);
// The text of string data up to its first NUL; data without a NUL runs to its end.
std::wstring TextOfRegistryData(const std::vector<uint8_t>& data);

}  // namespace platform
