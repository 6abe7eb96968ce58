// Saving a whole file so that a reader sees the old contents or the new ones,
// never a mixture: the bytes go to a new file beside the target, which is
// synced to the disk and then renamed over the target.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/Status.h"

namespace sys::file {

// Replaces the file at `path` with `bytes`. A symbolic link at `path` is
// replaced itself; whatever it pointed to is left alone. A new file is
// readable by its owner only (Linux: mode 0600). On failure the status is
// "Unable to save to PATH: " and the message of the call that failed, the
// target is as it was, no new file is left behind, and the system's last
// error is that call's code. A path holding a NUL character is refused.
qtl::status SaveAtomically(const std::wstring& path, std::string_view bytes);

namespace detail {
// The host's new file beside the target; its destructor removes it unless
// Finish renamed it.
class TempFile {
 public:
  virtual ~TempFile() = default;
  // 0, or the error code of the call that failed.
  virtual uint32_t Write(std::string_view bytes) = 0;
  // Syncs, closes and renames over the target; on failure the file is removed.
  virtual uint32_t Finish() = 0;
};
// 0 and a new file beside `path`, or the error code of the call that failed.
uint32_t CreateTemp(const std::wstring& path, std::unique_ptr<TempFile>& file);
}  // namespace detail

// SaveAtomically a piece at a time, for documents too large to hold twice.
// The first failure is kept and every later Write skipped; Commit returns
// what SaveAtomically would have. Destroying it uncommitted leaves the target
// as it was and no new file behind.
class AtomicWriter {
 public:
  explicit AtomicWriter(const std::wstring& path);
  ~AtomicWriter();
  AtomicWriter(const AtomicWriter&) = delete;
  AtomicWriter& operator=(const AtomicWriter&) = delete;

  void Write(std::string_view bytes);
  // Once only.
  qtl::status Commit();

 private:
  std::wstring path_;
  std::unique_ptr<detail::TempFile> file_;
  uint32_t error_ = 0;
  bool nulInPath_ = false;
};

}  // namespace sys::file
