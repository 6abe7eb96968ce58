#include "runtime/AtomicFile.h"

#include "runtime/Str.h"
#include "runtime/SystemError.h"

namespace sys::file {

AtomicWriter::AtomicWriter(const std::wstring& path) : path_(path) {
  // The system would read such a path only up to the NUL and write elsewhere.
  nulInPath_ = path.find(L'\0') != std::wstring::npos;
  if (!nulInPath_) error_ = detail::CreateTemp(path, file_);
}

AtomicWriter::~AtomicWriter() = default;

void AtomicWriter::Write(std::string_view bytes) {
  if (file_ && error_ == 0) error_ = file_->Write(bytes);
}

qtl::status AtomicWriter::Commit() {
  if (nulInPath_) {
    return qtl::status::error(L"Unable to save to " + path_.substr(0, path_.find(L'\0')) +
                              L": the path holds a NUL character");
  }
  if (error_ == 0 && file_) error_ = file_->Finish();
  file_.reset();
  if (error_ == 0) return qtl::ok_status();
  qtl::status failure = qtl::status::error(L"Unable to save to " + path_ + L": " + str::as_wstring(QRNErrMsg(error_)));
  sys::SetLastErrorCode(error_);
  return failure;
}

qtl::status SaveAtomically(const std::wstring& path, std::string_view bytes) {
  AtomicWriter writer(path);
  writer.Write(bytes);
  return writer.Commit();
}

}  // namespace sys::file
