#include "runtime/AtomicFile.h"

#include "runtime/Str.h"
#include "runtime/SystemError.h"

namespace sys::file {

qtl::status SaveAtomically(const std::wstring& path, std::string_view bytes) {
  // The system would read such a path only up to the NUL and write elsewhere.
  if (path.find(L'\0') != std::wstring::npos) {
    return qtl::status::error(L"Unable to save to " + path.substr(0, path.find(L'\0')) +
                              L": the path holds a NUL character");
  }
  const uint32_t error = detail::ReplaceContents(path, bytes);
  if (error == 0) return qtl::ok_status();
  qtl::status failure =
      qtl::status::error(L"Unable to save to " + path + L": " + str::as_wstring(QRNErrMsg(error)));
  sys::SetLastErrorCode(error);
  return failure;
}

}  // namespace sys::file
