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

// Each error code is taken right after the call that failed: later calls
// (CloseHandle, DeleteFileW) overwrite the thread's last error.
class Win32TempFile : public TempFile {
 public:
  Win32TempFile(std::wstring target, std::wstring temp, HANDLE file)
      : target_(std::move(target)), temp_(std::move(temp)), file_(file) {}
  ~Win32TempFile() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (!renamed_) DeleteFileW(temp_.c_str());
  }

  uint32_t Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
      DWORD written = 0;
      if (!WriteFile(file_, bytes.data(), chunk, &written, nullptr)) return GetLastError();
      if (written == 0) return ERROR_WRITE_FAULT;
      bytes.remove_prefix(written);
    }
    return 0;
  }

  uint32_t Finish() override {
    DWORD error = 0;
    if (!FlushFileBuffers(file_)) error = GetLastError();
    if (!CloseHandle(file_) && error == 0) error = GetLastError();
    file_ = INVALID_HANDLE_VALUE;
    if (error == 0 &&
        !MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = GetLastError();
    }
    renamed_ = error == 0;
    return error;
  }

 private:
  std::wstring target_, temp_;
  HANDLE file_;
  bool renamed_ = false;
};

}  // namespace

uint32_t CreateTemp(const std::wstring& given, std::unique_ptr<TempFile>& file) {
  std::wstring path = ExtendedPath(given);
  const std::wstring folder = FolderOf(path);
  DWORD error = 0;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::wstring temp = TempName(folder, attempt);
    HANDLE handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file = std::make_unique<Win32TempFile>(std::move(path), std::move(temp), handle);
      return 0;
    }
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return error;
}

}  // namespace sys::file::detail
