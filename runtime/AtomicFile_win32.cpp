#include <windows.h>

#include "runtime/AtomicFile.h"
#include "runtime/LongPath.h"

namespace sys::file::detail {
namespace {

constexpr int kNameAttempts = 16;

std::wstring FolderOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  if (separator != std::wstring::npos) return path.substr(0, separator + 1);
  return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : std::wstring();
}

// A name no one else picks: the process id, a counter and the clock; CREATE_NEW
// refuses a name that exists anyway, and the next attempt takes another.
std::wstring TempName(const std::wstring& folder, int attempt) {
  static LONG counter = 0;
  LARGE_INTEGER now = {};
  QueryPerformanceCounter(&now);
  wchar_t name[64];
  swprintf(name, 64, L".dromika-%lx-%lx-%llx", GetCurrentProcessId(),
           static_cast<unsigned long>(InterlockedIncrement(&counter) + attempt),
           static_cast<unsigned long long>(now.QuadPart));
  return folder + name;
}

HANDLE CreateTemp(const std::wstring& folder, std::wstring& temp, DWORD& error) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    temp = TempName(folder, attempt);
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

DWORD WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    bytes.remove_prefix(written);
  }
  return 0;
}

}  // namespace

// Each error code is taken right after the call that failed: later calls
// (CloseHandle, DeleteFileW) overwrite the thread's last error.
uint32_t ReplaceContents(const std::wstring& given, std::string_view bytes) {
  const std::wstring path = ExtendedPath(given);
  std::wstring temp;
  DWORD error = 0;
  HANDLE file = CreateTemp(FolderOf(path), temp, error);
  if (file == INVALID_HANDLE_VALUE) return error;
  error = WriteAll(file, bytes);
  if (error == 0 && !FlushFileBuffers(file)) error = GetLastError();
  if (!CloseHandle(file) && error == 0) error = GetLastError();
  if (error == 0 && !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != 0) DeleteFileW(temp.c_str());
  return error;
}

}  // namespace sys::file::detail
