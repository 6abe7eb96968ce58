// The uploader's spool: compressed documents that could not be delivered,
// kept in a folder of the user's until a later upload sends them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/Status.h"

namespace ws::analytics::impl {

// The spool holds at most this many documents and bytes; the oldest go first.
constexpr size_t kSpoolMaxDocuments = 100;
constexpr uint64_t kSpoolMaxBytes = 64ull << 20;

struct SpoolLimits {
  size_t documents = kSpoolMaxDocuments;
  uint64_t bytes = kSpoolMaxBytes;
};

// One kept document: its file name inside the spool and its size.
struct SpoolEntry {
  std::wstring name;
  uint64_t bytes = 0;
};

// Not thread-safe; several processes may use one folder at once (a document
// two of them send twice is stored once by the collector's dedupe).
class UploadSpool {
 public:
  explicit UploadSpool(std::wstring folder, SpoolLimits limits = {});

  // The kept documents, oldest first; empty when the folder does not exist.
  // Files the spool did not write are ignored.
  std::vector<SpoolEntry> List() const;
  bool Read(const SpoolEntry& entry, std::string& body) const;
  // Gone already counts as removed.
  void Remove(const SpoolEntry& entry) const;

  // Keeps `body` as the newest document, creating the folder private to the
  // user, and drops the oldest ones until the limits hold; `dropped` counts
  // them. A body over the byte limit alone is refused and nothing dropped.
  qtl::status Keep(const std::string& body, size_t& dropped) const;

  const std::wstring& Folder() const { return folder_; }

 private:
  std::wstring PathOf(const std::wstring& name) const;

  std::wstring folder_;
  SpoolLimits limits_;
};

// The host halves (UploadSpool_posix.cpp, UploadSpool_win32.cpp).
// Linux: $XDG_STATE_HOME/dromika/spool ($HOME/.local/state when that is unset
// or not absolute); Windows: %LOCALAPPDATA%\Dromika\spool. Empty when the
// environment names no such place.
std::wstring UserSpoolFolder();
// Creates `folder` and any missing parents for this user alone (Linux: mode
// 0700; Windows: a protected DACL granting the current user only). An
// existing folder must be a folder of this user's (Linux: owned by the user,
// not a link; its mode is narrowed to 0700).
qtl::status MakePrivateFolder(const std::wstring& folder);
// The path the standard library's file functions take for `path` (Linux: its
// bytes as sys::path::EncodeBytes gives them).
std::filesystem::path HostFilePath(const std::wstring& path);

}  // namespace ws::analytics::impl
