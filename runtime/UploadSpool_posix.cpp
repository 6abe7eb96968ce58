#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "runtime/PathBytes.h"
#include "runtime/Str.h"
#include "runtime/SystemError.h"
#include "runtime/UploadSpool.h"

namespace ws::analytics::impl {
namespace {

qtl::status Unusable(const std::string& folder, const std::wstring& why) {
  return qtl::status::error(L"the spool folder " + sys::path::DecodeBytes(folder) + L" " + why);
}

// Missing parents are made private too: they hold nothing but our own folders.
int MakeFolders(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return 0;
  const int error = errno;
  const size_t slash = folder.rfind('/');
  if (error != ENOENT || slash == std::string::npos || slash == 0) return error;
  if (const int parent = MakeFolders(folder.substr(0, slash))) return parent;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

}  // namespace

std::wstring UserSpoolFolder() {
  // The XDG rules: a relative XDG_STATE_HOME is ignored.
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return sys::path::DecodeBytes(state) + L"/dromika/spool";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return sys::path::DecodeBytes(home) + L"/.local/state/dromika/spool";
  return std::wstring();
}

qtl::status MakePrivateFolder(const std::wstring& path) {
  const std::string folder = sys::path::EncodeBytes(path);
  if (const int error = MakeFolders(folder))
    return Unusable(folder, L"cannot be made: " + str::as_wstring(QRNErrMsg(error)));
  struct stat info = {};
  if (::lstat(folder.c_str(), &info) != 0)
    return Unusable(folder, L"cannot be read: " + str::as_wstring(QRNErrMsg(errno)));
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) return Unusable(folder, L"is not a folder of this user's");
  if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
    return Unusable(folder, L"cannot be made private: " + str::as_wstring(QRNErrMsg(errno)));
  }
  return qtl::ok_status();
}

std::filesystem::path HostFilePath(const std::wstring& path) {
  return std::filesystem::path(sys::path::EncodeBytes(path));
}

}  // namespace ws::analytics::impl
