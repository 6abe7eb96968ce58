// Registry keys and files that the Windows host tests write before they read
// the real block output, and remove afterwards.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace fixture {

// Creates key path under root (and the keys on the way) and deletes the
// named top key with everything below it when it goes. view is 0 or one of
// KEY_WOW64_64KEY and KEY_WOW64_32KEY.
class ScratchKey {
 public:
  ScratchKey(HKEY root, std::wstring removeOnExit, REGSAM view = 0)
      : root_(root), remove_(std::move(removeOnExit)), view_(view) {
    Remove();
  }
  ~ScratchKey() { Remove(); }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  void Raw(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD size) {
    if (HKEY handle = Create(key)) {
      RegSetValueExW(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
      RegCloseKey(handle);
    }
  }
  void Text(const std::wstring& key, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ) {
    Raw(key, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void Number(const std::wstring& key, const std::wstring& name, DWORD number) {
    Raw(key, name, REG_DWORD, &number, sizeof number);
  }
  void Key(const std::wstring& key) {
    if (HKEY handle = Create(key)) RegCloseKey(handle);
  }

 private:
  HKEY Create(const std::wstring& key) {
    HKEY handle = nullptr;
    return RegCreateKeyExW(root_, key.c_str(), 0, nullptr, 0, KEY_WRITE | view_, nullptr, &handle, nullptr) ==
                   ERROR_SUCCESS
               ? handle
               : nullptr;
  }
  // The view applies to a path, so the parent is opened in it and the last name deleted there.
  void Remove() {
    const size_t slash = remove_.rfind(L'\\');
    HKEY parent = nullptr;
    if (slash == std::wstring::npos ||
        RegOpenKeyExW(root_, remove_.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view_, &parent) != ERROR_SUCCESS) {
      return;
    }
    RegDeleteTreeW(parent, remove_.substr(slash + 1).c_str());
    RegCloseKey(parent);
  }

  HKEY root_;
  std::wstring remove_;
  REGSAM view_;
};

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

// Sets the last write time, given in UTC.
inline bool Stamp(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME utc{year, month, 0, day, hour, minute, second, 0};
  FILETIME time{};
  SystemTimeToFileTime(&utc, &time);
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  return ok;
}

}  // namespace fixture
