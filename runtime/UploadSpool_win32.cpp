#include <windows.h>

#include <vector>

#include "runtime/Str.h"
#include "runtime/SystemError.h"
#include "runtime/UploadSpool.h"
#include "runtime/Uploader.h"

namespace ws::analytics::impl {
namespace {

qtl::status Unusable(const std::wstring& folder, const std::wstring& why, DWORD error) {
  return qtl::status::error(L"the spool folder " + folder + L" " + why + L": " + str::as_wstring(QRNErrMsg(error)));
}

// A protected DACL with one entry, inherited by what the folder holds: full
// access for the user this process runs as, and no one else.
class PrivateSecurity {
 public:
  DWORD Build() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return GetLastError();
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    const BOOL read = GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    const DWORD error = GetLastError();
    CloseHandle(token);
    if (!read) return error;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      return GetLastError();
    }
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    return 0;
  }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  std::vector<BYTE> user_;
  std::vector<BYTE> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

DWORD MakeFolders(std::wstring folder, PrivateSecurity& security) {
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  if (CreateDirectoryW(folder.c_str(), security.attributes()) || GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  const DWORD error = GetLastError();
  const size_t separator = folder.find_last_of(L"\\/");
  if (error != ERROR_PATH_NOT_FOUND || separator == std::wstring::npos || separator < 3) return error;
  if (const DWORD parent = MakeFolders(folder.substr(0, separator), security)) return parent;
  return CreateDirectoryW(folder.c_str(), security.attributes()) || GetLastError() == ERROR_ALREADY_EXISTS
             ? 0
             : GetLastError();
}

}  // namespace

std::wstring UserSpoolFolder() {
  const std::wstring local = UploadSetting(L"LOCALAPPDATA");
  return local.empty() ? std::wstring() : local + L"\\Dromika\\spool";
}

qtl::status MakePrivateFolder(const std::wstring& folder) {
  PrivateSecurity security;
  if (const DWORD error = security.Build()) return Unusable(folder, L"cannot be made private", error);
  if (const DWORD error = MakeFolders(folder, security)) return Unusable(folder, L"cannot be made", error);
  // A link could lead the documents somewhere the user did not choose.
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Unusable(folder, L"cannot be read", GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return qtl::status::error(L"the spool folder " + folder + L" is not a plain folder");
  }
  return qtl::ok_status();
}

std::filesystem::path HostFilePath(const std::wstring& path) { return std::filesystem::path(path); }

}  // namespace ws::analytics::impl
